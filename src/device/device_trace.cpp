#include "device/device_trace.h"

#include "base/safe_file.h"

#include <cstdarg>
#include <filesystem>

namespace korvane {
namespace {

// Two independent 64-bit hashes of the bytes and their count: contents
// that share a key are taken as the same.
std::string contentKey(const void *bytes, std::size_t size) {
  const auto *p = static_cast<const unsigned char *>(bytes);
  std::uint64_t fnv = 1469598103934665603ull;
  std::uint64_t mix = 0x9E3779B97F4A7C15ull ^ size;
  for (std::size_t i = 0; i < size; ++i) {
    fnv = (fnv ^ p[i]) * 1099511628211ull;
    mix = (mix + p[i]) * 0xFF51AFD7ED558CCDull;
    mix ^= mix >> 29;
  }
  char key[64];
  std::snprintf(key, sizeof key, "%016llx%016llx-%zu",
                static_cast<unsigned long long>(fnv),
                static_cast<unsigned long long>(mix), size);
  return key;
}

} // namespace

DeviceTrace::DeviceTrace(const std::string &where, int width, int height)
    : folder(where) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const std::string name = folder + "/trace.txt";
  std::string why;
  text = openOutputFile(name, WriteMode::Replace, why).release();
  if (!text) {
    failure = "cannot write " + name + ": " + why;
    return;
  }
  line("korvane-device-trace 1");
  line("device %d %d", width, height);
}

DeviceTrace::~DeviceTrace() {
  if (text)
    std::fclose(text);
}

void DeviceTrace::line(const char *format, ...) {
  if (!text)
    return;
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(text, format, arguments);
  va_end(arguments);
  std::fputc('\n', text);
  if (std::ferror(text) && failure.empty())
    failure = "cannot write " + folder + "/trace.txt";
}

void DeviceTrace::floats(const float *values, int count) {
  if (!text)
    return;
  for (int i = 0; i < count; ++i)
    std::fprintf(text, " %.9g", static_cast<double>(values[i]));
}

std::string DeviceTrace::dataFile(const void *bytes, std::size_t size) {
  const std::string key = contentKey(bytes, size);
  if (auto known = files.find(key); known != files.end())
    return known->second;
  char name[32];
  std::snprintf(name, sizeof name, "d%06u.bin", ++filecount);
  const std::string path = folder + "/" + name;
  std::string why;
  const OutputFile out = openOutputFile(path, WriteMode::Replace, why);
  if (!out || (size && std::fwrite(bytes, size, 1, out.get()) != 1)) {
    if (failure.empty())
      failure = "cannot write " + path + (why.empty() ? "" : ": " + why);
  }
  files.emplace(key, name);
  return name;
}

std::uint32_t DeviceTrace::idOf(const void *object) const {
  const auto found = ids.find(object);
  return found == ids.end() ? 0u : found->second;
}

void DeviceTrace::textureCreated(const Texture &texture, std::uint32_t usage) {
  const std::uint32_t id = nextid++;
  ids[&texture] = id;
  Object &object = objects[id];
  object.texture = &texture;
  object.written.assign(texture.levelCount(), 0);
  line("texture %u %u %u %u %u %u %u", id, texture.width(), texture.height(),
       texture.levelCount(), static_cast<unsigned>(texture.format()),
       static_cast<unsigned>(texture.pool()), usage);
}

void DeviceTrace::vertexBufferCreated(const VertexBuffer &buffer, Pool pool) {
  const std::uint32_t id = nextid++;
  ids[&buffer] = id;
  Object &object = objects[id];
  object.buffer = &buffer;
  object.written.assign(1, 0);
  line("vbuffer %u %u %u %u %u", id, buffer.size(), buffer.usage(),
       buffer.fvf(), static_cast<unsigned>(pool));
}

void DeviceTrace::released(const void *object) {
  const auto found = ids.find(object);
  if (found == ids.end())
    return;
  line("release %u", found->second);
  objects.erase(found->second);
  ids.erase(found);
}

void DeviceTrace::setRenderState(std::uint32_t state, std::uint32_t value) {
  line("rs %u %u", state, value);
}

void DeviceTrace::setTextureStageState(int stage, std::uint32_t type,
                                       std::uint32_t value) {
  line("tss %d %u %u", stage, type, value);
}

void DeviceTrace::setTransform(TransformType which, const Matrix &matrix) {
  if (!text)
    return;
  std::fprintf(text, "transform %u", static_cast<unsigned>(which));
  floats(&matrix.m[0][0], 16);
  line("%s", "");
}

void DeviceTrace::setMaterial(const Material &m) {
  if (!text)
    return;
  const float values[17] = {
      m.diffuse.r,  m.diffuse.g,  m.diffuse.b,  m.diffuse.a,  m.ambient.r,
      m.ambient.g,  m.ambient.b,  m.ambient.a,  m.specular.r, m.specular.g,
      m.specular.b, m.specular.a, m.emissive.r, m.emissive.g, m.emissive.b,
      m.emissive.a, m.power};
  std::fputs("material", text);
  floats(values, 17);
  line("%s", "");
}

void DeviceTrace::setLight(int index, const Light &l) {
  if (!text)
    return;
  const float values[25] = {
      l.diffuse.r,    l.diffuse.g,    l.diffuse.b,    l.diffuse.a,
      l.specular.r,   l.specular.g,   l.specular.b,   l.specular.a,
      l.ambient.r,    l.ambient.g,    l.ambient.b,    l.ambient.a,
      l.position[0],  l.position[1],  l.position[2],  l.direction[0],
      l.direction[1], l.direction[2], l.range,        l.falloff,
      l.attenuation0, l.attenuation1, l.attenuation2, l.theta,
      l.phi};
  std::fprintf(text, "light %d %u", index, l.type);
  floats(values, 25);
  line("%s", "");
}

void DeviceTrace::lightEnable(int index, bool enable) {
  line("lightenable %d %d", index, enable ? 1 : 0);
}

void DeviceTrace::setTexture(int stage, const Texture *texture) {
  line("settexture %d %u", stage, idOf(texture));
}

void DeviceTrace::setStreamSource(const VertexBuffer *buffer,
                                  std::uint32_t stride) {
  line("stream %u %u", idOf(buffer), stride);
}

void DeviceTrace::setVertexShader(std::uint32_t fvf) { line("fvf %u", fvf); }

void DeviceTrace::beginStateBlock() { line("beginstateblock"); }

void DeviceTrace::endStateBlock(std::uint32_t block) {
  line("endstateblock %u", block);
}

void DeviceTrace::captureStateBlock(std::uint32_t block) {
  line("capturestateblock %u", block);
}

void DeviceTrace::applyStateBlock(std::uint32_t block) {
  line("applystateblock %u", block);
}

void DeviceTrace::deleteStateBlock(std::uint32_t block) {
  line("deletestateblock %u", block);
}

void DeviceTrace::clear(std::uint32_t flags, std::uint32_t color, float z,
                        std::uint32_t stencil) {
  line("clear %u %u %.9g %u", flags, color, static_cast<double>(z), stencil);
}

void DeviceTrace::beginScene() { line("beginscene"); }

void DeviceTrace::endScene() { line("endscene"); }

void DeviceTrace::writeChangedContent() {
  for (auto &[id, object] : objects) {
    if (const Texture *texture = object.texture) {
      for (std::uint32_t n = 0; n < texture->levelCount(); ++n) {
        if (object.written[n] == texture->levelVersion(n))
          continue;
        object.written[n] = texture->levelVersion(n);
        const std::size_t bytes =
            std::size_t(texture->pitch(n)) * texture->height(n);
        line("texlevel %u %u %s", id, n,
             dataFile(texture->pixels(n), bytes).c_str());
      }
    } else if (const VertexBuffer *buffer = object.buffer) {
      if (object.written[0] == buffer->version())
        continue;
      object.written[0] = buffer->version();
      line("vbdata %u %s", id,
           dataFile(buffer->data(), buffer->size()).c_str());
    }
  }
}

void DeviceTrace::drawPrimitive(PrimitiveType type, std::uint32_t startVertex,
                                std::uint32_t primitiveCount) {
  writeChangedContent();
  line("draw %u %u %u", static_cast<unsigned>(type), startVertex,
       primitiveCount);
}

void DeviceTrace::drawIndexedTriangles(const std::uint32_t *indices,
                                       std::uint32_t triangleCount) {
  writeChangedContent();
  line("drawindexed %u %s", triangleCount,
       dataFile(indices, std::size_t(triangleCount) * 3 * sizeof *indices)
           .c_str());
}

void DeviceTrace::present() {
  line("present");
  if (text)
    std::fflush(text);
}

} // namespace korvane
