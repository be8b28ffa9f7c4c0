#pragma once

// A device trace: every call made on a Device, in order, written as text
// lines plus data files into one folder, so that another Direct3D 8 can
// replay exactly what the renderers asked for. The format's first line is
// "korvane-device-trace 1"; each later line is one call.

#include "device/device.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvane {

class DeviceTrace {
public:
  // Starts the trace of a device whose back buffer is width x height in
  // `folder`, which is created if missing. See ok() and error().
  DeviceTrace(const std::string &folder, int width, int height);
  ~DeviceTrace();
  DeviceTrace(const DeviceTrace &) = delete;
  DeviceTrace &operator=(const DeviceTrace &) = delete;

  // False once anything could not be written; error() says what.
  bool ok() const { return failure.empty(); }
  const std::string &error() const { return failure; }

  void textureCreated(Texture &texture, std::uint32_t usage);
  void vertexBufferCreated(VertexBuffer &buffer, Pool pool);
  // The program's object is gone: its id may be used again.
  void released(TraceLink &link);

  void renderState(std::uint32_t state, std::uint32_t value);
  void stageState(int stage, std::uint32_t type, std::uint32_t value);
  void transform(std::uint32_t type, const Matrix &matrix);
  void material(const Material &material);
  void light(int index, const Light &light);
  void lightEnable(int index, bool enable);
  void texture(int stage, const Texture *texture);
  void stream(const VertexBuffer *buffer, std::uint32_t stride);
  void vertexFormat(std::uint32_t fvf);
  // "beginstateblock", or one of the calls on a block: "endstateblock",
  // "capturestateblock", "applystateblock", "deletestateblock".
  void stateBlock(const char *call, std::uint32_t block = 0);
  void clear(std::uint32_t flags, std::uint32_t color, float z,
             std::uint32_t stencil);
  void scene(bool begin);
  // Draws first write every object's content that changed since it was
  // last written.
  void draw(std::uint32_t type, std::uint32_t start, std::uint32_t count);
  void drawIndexed(const std::uint32_t *indices, std::uint32_t triangles);
  void present();

private:
  struct Object {
    Texture *texture = nullptr;
    VertexBuffer *buffer = nullptr;
    std::vector<std::uint64_t> written; // versions last written, per level
  };

  void line(const char *format, ...) __attribute__((format(printf, 2, 3)));
  void floats(const float *values, int count);
  // The name of a data file holding these bytes, written once per content.
  std::string dataFile(const void *bytes, std::size_t size);
  void writeChangedContent();

  std::string folder;
  std::FILE *text = nullptr;
  std::string failure;
  std::map<std::uint32_t, Object> objects; // live ones, by id
  std::uint32_t nextid = 1;                // ids are never used twice
  std::unordered_map<std::string, std::string> files; // content key -> name
  std::uint32_t filecount = 0;
};

} // namespace korvane
