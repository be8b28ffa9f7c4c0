#include "device/device.h"

#include <algorithm>
#include <cstring>

namespace korvane {

std::uint32_t bytesPerPixel(PixelFormat format) {
  switch (format) {
  case D3DFMT_A8R8G8B8:
  case D3DFMT_X8R8G8B8:
    return 4;
  case D3DFMT_R5G6B5:
  case D3DFMT_X1R5G5B5:
  case D3DFMT_A1R5G5B5:
  case D3DFMT_A4R4G4B4:
    return 2;
  case D3DFMT_R3G3B2:
    return 1;
  default:
    return 0;
  }
}

std::uint32_t vertexSize(std::uint32_t fvf) {
  std::uint32_t size = 0;
  if (fvf & D3DFVF_XYZRHW)
    size += 16;
  else if (fvf & D3DFVF_XYZ)
    size += 12;
  if (fvf & D3DFVF_NORMAL)
    size += 12;
  if (fvf & D3DFVF_DIFFUSE)
    size += 4;
  if (fvf & D3DFVF_SPECULAR)
    size += 4;
  size += 8 * ((fvf >> 8) & 0xF); // texture coordinate pairs
  return size;
}

Texture::Texture(std::uint32_t width, std::uint32_t height,
                 std::uint32_t levels, PixelFormat format, Pool pool)
    : pixelformat(format), memorypool(pool) {
  std::uint32_t full = 1;
  for (std::uint32_t size = std::max(width, height); size > 1; size >>= 1)
    ++full;
  const std::uint32_t count = levels == 0 ? full : std::min(levels, full);
  const std::uint32_t bytes = bytesPerPixel(format);
  for (std::uint32_t n = 0; n < count; ++n) {
    const std::uint32_t w = std::max(1u, width >> n);
    const std::uint32_t h = std::max(1u, height >> n);
    level.push_back({w, h, w * bytes,
                     std::vector<std::uint8_t>(std::size_t(w) * h * bytes)});
  }
}

Texture::~Texture() {
  if (backend)
    backend->releaseTexture(*this);
}

void Texture::unlock(std::uint32_t) { ++changes; }

// A recorded state block: the states set while it was being recorded, with
// the values it holds now.
struct Device::Recorded {
  struct RenderState {
    std::uint32_t state, value;
  };
  struct StageState {
    int stage;
    std::uint32_t type, value;
  };
  struct TextureBinding {
    int stage;
    Texture *texture;
  };
  std::vector<RenderState> renderstates;
  std::vector<StageState> stagestates;
  std::vector<TextureBinding> textures;

  template <typename Entry, typename Same>
  static void put(std::vector<Entry> &list, const Entry &entry, Same same) {
    for (Entry &existing : list)
      if (same(existing)) {
        existing = entry;
        return;
      }
    list.push_back(entry);
  }
};

Device::Device(std::unique_ptr<DeviceBackend> backend)
    : drawer(backend ? std::move(backend) : std::make_unique<NullBackend>()) {
  // Direct3D's documented defaults for the states the renderers rely on.
  std::uint32_t *rs = current.renderstate;
  rs[D3DRS_ZENABLE] = D3DZB_TRUE;
  rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
  rs[D3DRS_ZWRITEENABLE] = 1;
  rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  rs[D3DRS_CULLMODE] = D3DCULL_CCW;
  rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  rs[D3DRS_CLIPPING] = 1;
  rs[D3DRS_LIGHTING] = 1;
  for (int stage = 0; stage < maxStages; ++stage) {
    std::uint32_t *ts = current.stagestate[stage];
    ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    ts[D3DTSS_TEXCOORDINDEX] = static_cast<std::uint32_t>(stage);
    ts[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
    ts[D3DTSS_MINFILTER] = D3DTEXF_POINT;
    ts[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
    ts[D3DTSS_ADDRESSU] = ts[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
    ts[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
  }
  current.lights[0].diffuse = {1, 1, 1, 0};
  current.lights[0].direction[2] = 1.0f;
}

Device::~Device() = default;

Device::Recorded *Device::recording() { return open.get(); }

void Device::setRenderState(std::uint32_t state, std::uint32_t value) {
  if (state >= D3DRS_COUNT)
    return;
  if (Recorded *block = recording()) {
    Recorded::put(
        block->renderstates, {state, value},
        [&](const Recorded::RenderState &e) { return e.state == state; });
    return;
  }
  current.renderstate[state] = value;
}

std::uint32_t Device::renderState(std::uint32_t state) const {
  return state < D3DRS_COUNT ? current.renderstate[state] : 0;
}

void Device::setTextureStageState(int stage, std::uint32_t type,
                                  std::uint32_t value) {
  if (stage < 0 || stage >= maxStages || type >= D3DTSS_COUNT)
    return;
  if (Recorded *block = recording()) {
    Recorded::put(block->stagestates, {stage, type, value},
                  [&](const Recorded::StageState &e) {
                    return e.stage == stage && e.type == type;
                  });
    return;
  }
  current.stagestate[stage][type] = value;
}

std::uint32_t Device::textureStageState(int stage, std::uint32_t type) const {
  if (stage < 0 || stage >= maxStages || type >= D3DTSS_COUNT)
    return 0;
  return current.stagestate[stage][type];
}

void Device::setTransform(TransformType which, const Matrix &matrix) {
  switch (which) {
  case D3DTS_WORLD:
    current.world = matrix;
    break;
  case D3DTS_VIEW:
    current.view = matrix;
    break;
  case D3DTS_PROJECTION:
    current.projection = matrix;
    break;
  case D3DTS_TEXTURE0:
    current.texturetransform[0] = matrix;
    break;
  case D3DTS_TEXTURE1:
    current.texturetransform[1] = matrix;
    break;
  }
}

const Matrix &Device::transform(TransformType which) const {
  switch (which) {
  case D3DTS_VIEW:
    return current.view;
  case D3DTS_PROJECTION:
    return current.projection;
  case D3DTS_TEXTURE0:
    return current.texturetransform[0];
  case D3DTS_TEXTURE1:
    return current.texturetransform[1];
  default:
    return current.world;
  }
}

void Device::setMaterial(const Material &material) {
  current.material = material;
}

void Device::setLight(int index, const Light &light) {
  if (index >= 0 && index < maxLights)
    current.lights[index] = light;
}

void Device::lightEnable(int index, bool enable) {
  if (index >= 0 && index < maxLights)
    current.lightenabled[index] = enable;
}

void Device::setTexture(int stage, Texture *texture) {
  if (stage < 0 || stage >= maxStages)
    return;
  if (Recorded *block = recording()) {
    Recorded::put(
        block->textures, {stage, texture},
        [&](const Recorded::TextureBinding &e) { return e.stage == stage; });
    return;
  }
  current.texture[stage] = texture;
}

std::unique_ptr<Texture> Device::createTexture(std::uint32_t width,
                                               std::uint32_t height,
                                               std::uint32_t levels,
                                               std::uint32_t /*usage*/,
                                               PixelFormat format, Pool pool) {
  if (width == 0 || height == 0 || bytesPerPixel(format) == 0)
    return nullptr;
  const std::uint32_t limit = drawer->maxTextureSize();
  if (width > limit || height > limit)
    return nullptr;
  return std::make_unique<Texture>(width, height, levels, format, pool);
}

std::unique_ptr<VertexBuffer> Device::createVertexBuffer(std::uint32_t bytes,
                                                         std::uint32_t usage,
                                                         std::uint32_t fvf,
                                                         Pool /*pool*/) {
  if (bytes == 0)
    return nullptr;
  return std::make_unique<VertexBuffer>(bytes, usage, fvf);
}

bool Device::updateTexture(const Texture &source, Texture &destination) {
  if (source.format() != destination.format())
    return false;
  const std::uint32_t levels =
      std::min(source.levelCount(), destination.levelCount());
  for (std::uint32_t n = 0; n < levels; ++n) {
    if (source.width(n) != destination.width(n) ||
        source.height(n) != destination.height(n))
      return false;
    std::memcpy(destination.lock(n), source.pixels(n),
                std::size_t(source.pitch(n)) * source.height(n));
    destination.unlock(n);
  }
  return true;
}

void Device::beginStateBlock() { open = std::make_unique<Recorded>(); }

StateBlock Device::endStateBlock() {
  if (!open)
    return 0;
  blocks.push_back(std::move(open));
  return static_cast<StateBlock>(blocks.size());
}

void Device::captureStateBlock(StateBlock handle) {
  if (handle == 0 || handle > blocks.size() || !blocks[handle - 1])
    return;
  Recorded &block = *blocks[handle - 1];
  for (auto &e : block.renderstates)
    e.value = current.renderstate[e.state];
  for (auto &e : block.stagestates)
    e.value = current.stagestate[e.stage][e.type];
  for (auto &e : block.textures)
    e.texture = current.texture[e.stage];
}

void Device::applyStateBlock(StateBlock handle) {
  if (handle == 0 || handle > blocks.size() || !blocks[handle - 1])
    return;
  const Recorded &block = *blocks[handle - 1];
  for (const auto &e : block.renderstates)
    current.renderstate[e.state] = e.value;
  for (const auto &e : block.stagestates)
    current.stagestate[e.stage][e.type] = e.value;
  for (const auto &e : block.textures)
    current.texture[e.stage] = e.texture;
}

void Device::deleteStateBlock(StateBlock handle) {
  if (handle == 0 || handle > blocks.size())
    return;
  blocks[handle - 1].reset();
}

void Device::clear(std::uint32_t flags, std::uint32_t color, float z,
                   std::uint32_t stencil) {
  drawer->clear(flags, color, z, stencil);
}

void Device::beginScene() {}
void Device::endScene() {}
void Device::present() { drawer->present(); }

void Device::setStreamSource(const VertexBuffer *buffer, std::uint32_t stride) {
  current.stream = buffer;
  current.stride = stride;
}

void Device::setVertexShader(std::uint32_t fvf) { current.fvf = fvf; }

void Device::drawPrimitive(PrimitiveType type, std::uint32_t startVertex,
                           std::uint32_t primitiveCount) {
  std::uint32_t vertices = 0;
  switch (type) {
  case D3DPT_TRIANGLELIST:
    vertices = primitiveCount * 3;
    break;
  case D3DPT_TRIANGLESTRIP:
  case D3DPT_TRIANGLEFAN:
    vertices = primitiveCount ? primitiveCount + 2 : 0;
    break;
  default:
    return;
  }
  const VertexBuffer *stream = current.stream;
  const std::uint32_t stride = current.stride;
  // Never read past the bound buffer, whatever the caller asks for.
  if (!stream || vertices == 0 || stride < vertexSize(current.fvf) ||
      stride == 0 ||
      (std::uint64_t(startVertex) + vertices) * stride > stream->size())
    return;
  drawer->draw(current, type, startVertex, vertices);
}

} // namespace korvane

namespace korvane {

void Device::drawIndexedTriangles(const std::uint32_t *indices,
                                  std::uint32_t triangleCount) {
  const VertexBuffer *stream = current.stream;
  const std::uint32_t stride = current.stride;
  if (!stream || !indices || triangleCount == 0 || stride == 0 ||
      stride < vertexSize(current.fvf))
    return;
  const std::uint32_t vertices = stream->size() / stride;
  const std::uint32_t count = triangleCount * 3;
  for (std::uint32_t i = 0; i < count; ++i)
    if (indices[i] >= vertices)
      return;
  drawer->drawIndexed(current, indices, count, vertices);
}

} // namespace korvane
