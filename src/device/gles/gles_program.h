#pragma once

// The programs of the GLES backend: the key (what of the device's state
// changes the code), the GLSL ES 3.00 made from a key, and the uniforms
// (what of the state goes in as values), each worked out from the state
// alone so that the state check can work them out again.

#include "device/device_state.h"
#include "device/fixed_function.h"
#include "device/vertex_format.h"

#include <cstdint>
#include <string>

namespace korvane {

struct StageKey {
  bool samples = false;
  fixedfn::Combine colour{false, fixedfn::Source::Previous,
                          fixedfn::Source::Previous};
  fixedfn::Combine alpha = colour;
  fixedfn::Generation generation = fixedfn::Generation::None;
};

struct ProgramKey {
  bool lit = false;
  bool colormaterial = false; // vertex colours stand in for the diffuse
  bool normalize = false;
  std::uint8_t lights = 0;     // enabled, a bit each
  std::uint8_t positional = 0; // of those, the point and spot lights
  StageKey stage[maxStages];
  bool alphatest = false;
  std::uint8_t alphafunc = 0; // GL's comparison less GL_NEVER
  std::uint64_t code() const;
};

// Where the vertex shader finds each attribute.
enum Attribute { POSITION, NORMAL, COLOR, TEXCOORD0, TEXCOORD1 };

// Everything a program reads that is not code. Light colours come as GL's
// products with the material, as GL's own lighting forms them.
struct Uniforms {
  Matrix mvp, modelview;
  float normal[9] = {}; // column-major, for a mat3
  Matrix texture[maxStages];
  float scene[4] = {}; // emission + ambient level x material ambient
  float lightposition[maxLights][4] = {};
  float lightambient[maxLights][4] = {};
  float lightdiffuse[maxLights][4] = {};
  float lightspecular[maxLights][4] = {};
  float shininess = 0;
  float alpharef = 0;
  bool operator==(const Uniforms &) const = default;
};

// What a draw of `state` needs; `cpugeneration` where world x view
// flattens space and generated coordinates come from the CPU instead.
ProgramKey programKey(const DeviceState &state, const VertexLayout &layout,
                      bool cpugeneration);
Uniforms programUniforms(const DeviceState &state, const VertexLayout &layout,
                         bool cpugeneration, int width, int height);

std::string vertexShader(const ProgramKey &key);
std::string fragmentShader(const ProgramKey &key);

// One linked program with where its uniforms are, and the values last
// given to it.
class GlesProgram {
public:
  // Throws nothing: `ok()` is false with `log` saying why.
  explicit GlesProgram(const ProgramKey &key);
  ~GlesProgram();
  GlesProgram(const GlesProgram &) = delete;
  GlesProgram &operator=(const GlesProgram &) = delete;

  bool ok() const { return linked; }
  const std::string &log() const { return why; }
  unsigned name() const { return program; }
  std::uint64_t code() const { return keycode; }
  // Sends what differs from the values last sent; the program is in use.
  void set(const Uniforms &values);

  struct Locations {
    int mvp = -1, modelview = -1, normal = -1, texture[maxStages] = {-1, -1},
        scene = -1, lightposition = -1, lightambient = -1, lightdiffuse = -1,
        lightspecular = -1, shininess = -1, alpharef = -1;
  };
  const Locations &locations() const { return where; }

private:
  unsigned program = 0;
  std::uint64_t keycode = 0;
  bool linked = false;
  std::string why;
  Locations where;
  bool sent = false;
  Uniforms last;
};

} // namespace korvane
