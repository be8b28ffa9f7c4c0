#pragma once

// device: the Direct3D 8 device as every renderer sees it, with Direct3D's
// own semantics (row-vector left-handed matrices, states that persist until
// set again, blend values 1 to 13, vertex-format codes), its null backend,
// the listeners beside it (the device trace), the texture font and the
// arcball. It knows base/ and nothing of shows; device/gl/ translates it to
// OpenGL.

#include "base/math3d.h"
#include "device/d3d_types.h"
#include "device/device_listener.h"
#include "device/device_state.h"
#include "device/resources.h"
#include "device/vertex_format.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace korvane {

using StateBlock = std::uint32_t; // 0 is no block

// The Direct3D 8 device as the renderers see it: setters record state, a
// draw hands the recorded state to the backend. A listener beside the
// backend is told each call as it was made.
class Device {
public:
  // With a listener, it is told every call from construction on; it must
  // outlive the device.
  explicit Device(std::unique_ptr<DeviceBackend> backend,
                  DeviceListener *beside = nullptr);
  ~Device();

  void setRenderState(std::uint32_t state, std::uint32_t value);
  std::uint32_t renderState(std::uint32_t state) const;
  void setTextureStageState(int stage, std::uint32_t type, std::uint32_t value);
  std::uint32_t textureStageState(int stage, std::uint32_t type) const;
  void setTransform(TransformType which, const Matrix &matrix);
  const Matrix &transform(TransformType which) const;
  void setMaterial(const Material &material);
  void setLight(int index, const Light &light);
  void lightEnable(int index, bool enable);
  void setTexture(int stage, Texture *texture);

  // Null on failure (a size of 0, an unknown format).
  std::unique_ptr<Texture>
  createTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                std::uint32_t usage, PixelFormat format, Pool pool);
  std::unique_ptr<VertexBuffer> createVertexBuffer(std::uint32_t bytes,
                                                   std::uint32_t usage,
                                                   std::uint32_t fvf,
                                                   Pool pool);
  // Copies the levels both have from a system-memory texture.
  bool updateTexture(const Texture &source, Texture &destination);

  void beginStateBlock();
  StateBlock endStateBlock();
  void captureStateBlock(StateBlock block);
  void applyStateBlock(StateBlock block);
  void deleteStateBlock(StateBlock block);

  void clear(std::uint32_t flags, std::uint32_t color, float z,
             std::uint32_t stencil);
  void beginScene();
  void endScene();
  void present();
  void setStreamSource(const VertexBuffer *buffer, std::uint32_t stride);
  void setVertexShader(std::uint32_t fvf);
  void drawPrimitive(PrimitiveType type, std::uint32_t startVertex,
                     std::uint32_t primitiveCount);
  // A triangle list by 32-bit indices into the bound stream; refused when
  // an index lies outside it.
  void drawIndexedTriangles(const std::uint32_t *indices,
                            std::uint32_t triangleCount);

  const DeviceState &state() const { return current; }
  DeviceBackend &backend() { return *drawer; }
  std::uint32_t maxTextureSize() const { return drawer->maxTextureSize(); }

private:
  struct Recorded;
  Recorded *recording();
  // Where a setter's value goes: the block being recorded, or the device.
  DeviceState &written();

  // Marks `groups` dirty when not recording a block.
  void changed(std::uint32_t groups);
  // Makes the same call on the listener, if any.
  template <typename... Parameters, typename... Arguments>
  void tell(void (DeviceListener::*call)(Parameters...),
            const Arguments &...arguments) {
    if (listener)
      (listener->*call)(arguments...);
  }

  std::unique_ptr<DeviceBackend> drawer;
  DeviceListener *listener; // beside the backend, or none
  DeviceState current;
  std::uint32_t dirty = GROUP_ALL;
  std::vector<std::unique_ptr<Recorded>> blocks; // index + 1 is the handle
  std::unique_ptr<Recorded> open;                // being recorded
};

} // namespace korvane
