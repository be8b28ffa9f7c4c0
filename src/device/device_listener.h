#pragma once

// A listener beside the backend: told every call made on a Device, in
// order, as the caller made it (the device trace is one). It knows nothing
// of how the device draws.

#include "base/math3d.h"
#include "device/d3d_types.h"
#include "device/resources.h"

#include <cstdint>
#include <memory>

namespace korvane {

class DeviceListener {
public:
  DeviceListener() = default;
  DeviceListener(const DeviceListener &) = delete;
  DeviceListener &operator=(const DeviceListener &) = delete;
  virtual ~DeviceListener() = default;

  virtual void textureCreated(const Texture &texture, std::uint32_t usage) = 0;
  virtual void vertexBufferCreated(const VertexBuffer &buffer, Pool pool) = 0;
  // A texture or vertex buffer made while this listener listened has gone,
  // at the moment it went; its address may be used again from now on.
  virtual void released(const void *object) = 0;

  virtual void setRenderState(std::uint32_t state, std::uint32_t value) = 0;
  virtual void setTextureStageState(int stage, std::uint32_t type,
                                    std::uint32_t value) = 0;
  virtual void setTransform(TransformType which, const Matrix &matrix) = 0;
  virtual void setMaterial(const Material &material) = 0;
  virtual void setLight(int index, const Light &light) = 0;
  virtual void lightEnable(int index, bool enable) = 0;
  virtual void setTexture(int stage, const Texture *texture) = 0;
  virtual void setStreamSource(const VertexBuffer *buffer,
                               std::uint32_t stride) = 0;
  virtual void setVertexShader(std::uint32_t fvf) = 0;

  // Blocks by the handles the device gave. An end is told only when a
  // block was being recorded, a deletion only of a block that exists.
  virtual void beginStateBlock() = 0;
  virtual void endStateBlock(std::uint32_t block) = 0;
  virtual void captureStateBlock(std::uint32_t block) = 0;
  virtual void applyStateBlock(std::uint32_t block) = 0;
  virtual void deleteStateBlock(std::uint32_t block) = 0;

  virtual void clear(std::uint32_t flags, std::uint32_t color, float z,
                     std::uint32_t stencil) = 0;
  virtual void beginScene() = 0;
  virtual void endScene() = 0;
  // Only the draws the device carries out, as they were asked for.
  virtual void drawPrimitive(PrimitiveType type, std::uint32_t startVertex,
                             std::uint32_t primitiveCount) = 0;
  virtual void drawIndexedTriangles(const std::uint32_t *indices,
                                    std::uint32_t triangleCount) = 0;
  virtual void present() = 0;

  // Expires with the listener: objects that outlive it tell it nothing.
  std::weak_ptr<DeviceListener *const> presence() const { return self; }

private:
  std::shared_ptr<DeviceListener *const> self =
      std::make_shared<DeviceListener *const>(this);
};

} // namespace korvane
