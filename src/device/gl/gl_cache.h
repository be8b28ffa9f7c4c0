#pragma once

// What OpenGL holds, as last set through this cache, so that setting a
// value GL already has costs no call. One meaning of "unknown" for every
// entry: an empty optional, as after start-up, which the next set fills.

#include "base/math3d.h"
#include "device/d3d_types.h"

#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>

namespace korvane {

class GlCache {
public:
  // Capabilities switched with glEnable and glDisable.
  enum Capability {
    DepthTest,
    Blend,
    CullFace,
    AlphaTest,
    Lighting,
    Dither,
    Normalize,
    ColorMaterial,
    ScissorTest,
    Light0, // to Light7
    CapabilityCount = Light0 + 8,
  };
  // The matrix stacks: modelview, projection, and each unit's texture.
  enum Stack { Modelview, Projection, Texture0, Texture1, StackCount };

  void enable(Capability capability, bool on);
  void blendFunction(unsigned source, unsigned destination);
  void depthFunction(unsigned function);
  void depthMask(bool on);
  void colorMask(bool red, bool green, bool blue, bool alpha);
  void scissor(const std::array<int, 4> &box);
  void alphaFunction(unsigned function, float reference);
  void frontFace(unsigned face);
  void loadMatrix(Stack stack, const Matrix &matrix);
  void activeUnit(int unit);
  void bindTexture(int unit, unsigned name);
  // The filters and wrapping of the texture bound on `unit`, which GL
  // keeps with the texture.
  void textureParameters(int unit, const std::array<int, 4> &parameters);
  // GL_TEXTURE_2D on a unit, and the generation of s, t and r.
  void texturing(int unit, bool on);
  void generation(int unit, bool on, int mode);
  // The unit's combiner: colour and alpha operation and arguments.
  void combiner(int unit, const std::array<std::uint32_t, 6> &env);
  // Client arrays: 0 normals, 1 colours, 2 + unit texture coordinates.
  void clientArray(int slot, bool on);
  // Lighting: the ambient level, the material, and light `index` placed in
  // world space through `view` (which leaves the modelview at `view`);
  // true when the light was sent.
  void ambient(std::uint32_t argb);
  void material(const Material &material);
  bool placeLight(int index, const Light &light, const Matrix &view);
  // A name GL no longer has: every binding of it is forgotten.
  void forgetTexture(unsigned name);

  // What the cache knows, for the state check and the draws that read it.
  const std::optional<bool> &depthMaskHeld() const { return depthmask; }
  const std::optional<int> &activeUnitHeld() const { return unit; }
  bool texturingOn(int which) const { return textured[which].value_or(false); }

private:
  std::optional<bool> enabled[CapabilityCount];
  std::optional<std::array<unsigned, 2>> blend;
  std::optional<unsigned> depthfunc;
  std::optional<bool> depthmask;
  std::optional<std::array<bool, 4>> colormask;
  std::optional<std::array<int, 4>> scissorbox;
  std::optional<std::pair<unsigned, float>> alpha;
  std::optional<unsigned> frontface;
  std::optional<Matrix> matrices[StackCount];
  std::optional<int> unit;
  std::optional<unsigned> bound[2];
  std::optional<bool> textured[2];
  std::optional<int> generating[2]; // 0 off, else the GL mode
  std::optional<std::array<std::uint32_t, 6>> env[2];
  std::optional<bool> arrays[4];
  std::optional<std::uint32_t> ambientlevel;
  std::optional<Material> lastmaterial;
  std::optional<Light> lights[8];
  std::optional<Matrix> lightviews[8];
  // Per texture name, as GL keeps them.
  std::unordered_map<unsigned, std::array<int, 4>> parameters;
};

} // namespace korvane
