#pragma once

// A device trace: every call made on a Device, in order, written as text
// lines plus data files into one folder, so that another Direct3D 8 can
// replay exactly what the renderers asked for. The format's first line is
// "korvane-device-trace 1"; each later line is one call.

#include "device/device_listener.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvane {

// A listener beside the backend that writes each call it is told.
class DeviceTrace final : public DeviceListener {
public:
  // Starts the trace of a device whose back buffer is width x height in
  // `folder`, which is created if missing. See ok() and error().
  DeviceTrace(const std::string &folder, int width, int height);
  ~DeviceTrace() override;

  // False once anything could not be written; error() says what.
  bool ok() const { return failure.empty(); }
  const std::string &error() const { return failure; }

  void textureCreated(const Texture &texture, std::uint32_t usage) override;
  void vertexBufferCreated(const VertexBuffer &buffer, Pool pool) override;
  // The program's object is gone: its id is not used again.
  void released(const void *object) override;

  void setRenderState(std::uint32_t state, std::uint32_t value) override;
  void setTextureStageState(int stage, std::uint32_t type,
                            std::uint32_t value) override;
  void setTransform(TransformType which, const Matrix &matrix) override;
  void setMaterial(const Material &material) override;
  void setLight(int index, const Light &light) override;
  void lightEnable(int index, bool enable) override;
  void setTexture(int stage, const Texture *texture) override;
  void setStreamSource(const VertexBuffer *buffer,
                       std::uint32_t stride) override;
  void setVertexShader(std::uint32_t fvf) override;
  void beginStateBlock() override;
  void endStateBlock(std::uint32_t block) override;
  void captureStateBlock(std::uint32_t block) override;
  void applyStateBlock(std::uint32_t block) override;
  void deleteStateBlock(std::uint32_t block) override;
  void clear(std::uint32_t flags, std::uint32_t color, float z,
             std::uint32_t stencil) override;
  void beginScene() override;
  void endScene() override;
  // Draws first write every object's content that changed since it was
  // last written.
  void drawPrimitive(PrimitiveType type, std::uint32_t startVertex,
                     std::uint32_t primitiveCount) override;
  void drawIndexedTriangles(const std::uint32_t *indices,
                            std::uint32_t triangleCount) override;
  void present() override;

private:
  struct Object {
    const Texture *texture = nullptr;
    const VertexBuffer *buffer = nullptr;
    std::vector<std::uint64_t> written; // versions last written, per level
  };

  void line(const char *format, ...) __attribute__((format(printf, 2, 3)));
  void floats(const float *values, int count);
  // The name of a data file holding these bytes, written once per content.
  std::string dataFile(const void *bytes, std::size_t size);
  void writeChangedContent();
  // The id written for a live object; 0 for none or one never told of.
  std::uint32_t idOf(const void *object) const;

  std::string folder;
  std::FILE *text = nullptr;
  std::string failure;
  std::map<std::uint32_t, Object> objects;             // live ones, by id
  std::unordered_map<const void *, std::uint32_t> ids; // live ones' ids
  std::uint32_t nextid = 1; // ids are never used twice
  std::unordered_map<std::string, std::string> files; // content key -> name
  std::uint32_t filecount = 0;
};

} // namespace korvane
