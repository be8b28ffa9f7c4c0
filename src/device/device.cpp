#include "device/device.h"

#include <algorithm>
#include <cstring>

namespace korvane {

namespace {

// Slots of the transforms a state holds: world, view, projection, then the
// texture transforms; -1 for a type the device does not keep.
int transformIndex(TransformType which) {
  switch (which) {
  case D3DTS_WORLD:
    return 0;
  case D3DTS_VIEW:
    return 1;
  case D3DTS_PROJECTION:
    return 2;
  case D3DTS_TEXTURE0:
    return 3;
  case D3DTS_TEXTURE1:
    return 4;
  }
  return -1;
}
constexpr int transformCount = 5;

// The state field and element of a slot.
constexpr StateField transformFields[transformCount] = {
    StateField::world, StateField::view, StateField::projection,
    StateField::texturetransform, StateField::texturetransform};
constexpr std::size_t transformElement(int index) {
  return index < 3 ? 0 : static_cast<std::size_t>(index - 3);
}

// The transform of a slot, in a state or a const state.
template <typename State> auto *transformSlot(State &state, int index) {
  switch (index) {
  case 0:
    return &state.world;
  case 1:
    return &state.view;
  case 2:
    return &state.projection;
  default:
    return &state.texturetransform[index - 3];
  }
}

// The lifetime of an object made while a listener listens: it ends with
// the object, and then tells the listener, if still there, that the
// object went.
struct EndNotice {
  std::weak_ptr<DeviceListener *const> listener;
  const void *object = nullptr;

  ~EndNotice() {
    if (const auto present = listener.lock())
      (*present)->released(object);
  }
};

// A notice to hand the next object made, or none where nobody listens.
std::shared_ptr<EndNotice> endNotice(const DeviceListener *listener) {
  if (!listener)
    return nullptr;
  auto notice = std::make_shared<EndNotice>();
  notice->listener = listener->presence();
  return notice;
}

} // namespace

// A recorded state block: which states were set while it was being
// recorded, and the values it holds for them now.
struct Device::Recorded {
  DeviceState values;
  StateSelection held;
};

Device::Device(std::unique_ptr<DeviceBackend> backend, DeviceListener *beside)
    : drawer(backend ? std::move(backend) : std::make_unique<NullBackend>()),
      listener(beside) {
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

DeviceState &Device::written() { return open ? open->values : current; }

void Device::changed(std::uint32_t groups) {
  if (!open)
    dirty |= withDependents(groups);
}

void Device::setRenderState(std::uint32_t state, std::uint32_t value) {
  tell(&DeviceListener::setRenderState, state, value);
  if (state >= D3DRS_COUNT)
    return;
  DeviceState &target = written();
  if (Recorded *block = recording())
    block->held.set(StateField::renderstate, state);
  else if (target.renderstate[state] != value)
    changed(renderStateGroup(state));
  target.renderstate[state] = value;
}

std::uint32_t Device::renderState(std::uint32_t state) const {
  return state < D3DRS_COUNT ? current.renderstate[state] : 0;
}

void Device::setTextureStageState(int stage, std::uint32_t type,
                                  std::uint32_t value) {
  tell(&DeviceListener::setTextureStageState, stage, type, value);
  if (stage < 0 || stage >= maxStages || type >= D3DTSS_COUNT)
    return;
  DeviceState &target = written();
  if (Recorded *block = recording())
    block->held.set(StateField::stagestate,
                    std::size_t(stage) * D3DTSS_COUNT + type);
  else if (target.stagestate[stage][type] != value)
    changed(stageGroup(stage));
  target.stagestate[stage][type] = value;
}

std::uint32_t Device::textureStageState(int stage, std::uint32_t type) const {
  if (stage < 0 || stage >= maxStages || type >= D3DTSS_COUNT)
    return 0;
  return current.stagestate[stage][type];
}

void Device::setTransform(TransformType which, const Matrix &matrix) {
  tell(&DeviceListener::setTransform, which, matrix);
  const int index = transformIndex(which);
  if (index < 0)
    return;
  DeviceState &target = written();
  if (Recorded *block = recording())
    block->held.set(transformFields[index], transformElement(index));
  else if (!(*transformSlot(target, index) == matrix))
    changed(index < 3 ? std::uint32_t(GROUP_TRANSFORMS)
                      : stageGroup(index - 3));
  *transformSlot(target, index) = matrix;
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
  tell(&DeviceListener::setMaterial, material);
  if (Recorded *block = recording())
    block->held.set(StateField::material);
  else if (!(current.material == material))
    changed(GROUP_LIGHTING);
  written().material = material;
}

void Device::setLight(int index, const Light &light) {
  tell(&DeviceListener::setLight, index, light);
  if (index < 0 || index >= maxLights)
    return;
  if (Recorded *block = recording())
    block->held.set(StateField::lights, static_cast<std::size_t>(index));
  else if (!(current.lights[index] == light))
    changed(GROUP_LIGHTING);
  written().lights[index] = light;
}

void Device::lightEnable(int index, bool enable) {
  tell(&DeviceListener::lightEnable, index, enable);
  if (index < 0 || index >= maxLights)
    return;
  if (Recorded *block = recording())
    block->held.set(StateField::lightenabled, static_cast<std::size_t>(index));
  else if (current.lightenabled[index] != enable)
    changed(GROUP_LIGHTING);
  written().lightenabled[index] = enable;
}

void Device::setTexture(int stage, Texture *texture) {
  tell(&DeviceListener::setTexture, stage, texture);
  if (stage < 0 || stage >= maxStages)
    return;
  if (Recorded *block = recording())
    block->held.set(StateField::texture, static_cast<std::size_t>(stage));
  else if (current.texture[stage] != texture)
    changed(stageGroup(stage));
  written().texture[stage] = texture;
}

std::unique_ptr<Texture> Device::createTexture(std::uint32_t width,
                                               std::uint32_t height,
                                               std::uint32_t levels,
                                               std::uint32_t usage,
                                               PixelFormat format, Pool pool) {
  if (width == 0 || height == 0 || bytesPerPixel(format) == 0)
    return nullptr;
  const std::uint32_t limit = drawer->maxTextureSize();
  if (width > limit || height > limit)
    return nullptr;
  const std::shared_ptr<EndNotice> notice = endNotice(listener);
  auto texture =
      std::make_unique<Texture>(width, height, levels, format, pool, notice);
  if (notice)
    notice->object = texture.get();
  tell(&DeviceListener::textureCreated, *texture, usage);
  return texture;
}

std::unique_ptr<VertexBuffer> Device::createVertexBuffer(std::uint32_t bytes,
                                                         std::uint32_t usage,
                                                         std::uint32_t fvf,
                                                         Pool pool) {
  if (bytes == 0)
    return nullptr;
  const std::shared_ptr<EndNotice> notice = endNotice(listener);
  auto buffer = std::make_unique<VertexBuffer>(bytes, usage, fvf, notice);
  if (notice)
    notice->object = buffer.get();
  tell(&DeviceListener::vertexBufferCreated, *buffer, pool);
  return buffer;
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

void Device::beginStateBlock() {
  tell(&DeviceListener::beginStateBlock);
  open = std::make_unique<Recorded>();
}

StateBlock Device::endStateBlock() {
  if (!open)
    return 0;
  blocks.push_back(std::move(open));
  const auto handle = static_cast<StateBlock>(blocks.size());
  tell(&DeviceListener::endStateBlock, handle);
  return handle;
}

void Device::captureStateBlock(StateBlock handle) {
  tell(&DeviceListener::captureStateBlock, handle);
  if (handle == 0 || handle > blocks.size() || !blocks[handle - 1])
    return;
  Recorded &block = *blocks[handle - 1];
  block.held.copy(current, block.values);
}

void Device::applyStateBlock(StateBlock handle) {
  tell(&DeviceListener::applyStateBlock, handle);
  if (handle == 0 || handle > blocks.size() || !blocks[handle - 1])
    return;
  const Recorded &block = *blocks[handle - 1];
  block.held.copy(block.values, current);
  changed(block.held.groups());
}

void Device::deleteStateBlock(StateBlock handle) {
  if (handle == 0 || handle > blocks.size())
    return;
  if (blocks[handle - 1])
    tell(&DeviceListener::deleteStateBlock, handle);
  blocks[handle - 1].reset();
}

void Device::clear(std::uint32_t flags, std::uint32_t color, float z,
                   std::uint32_t stencil) {
  tell(&DeviceListener::clear, flags, color, z, stencil);
  drawer->clear(flags, color, z, stencil);
}

void Device::beginScene() { tell(&DeviceListener::beginScene); }

void Device::endScene() { tell(&DeviceListener::endScene); }

void Device::present() {
  tell(&DeviceListener::present);
  drawer->present();
}

void Device::setStreamSource(const VertexBuffer *buffer, std::uint32_t stride) {
  tell(&DeviceListener::setStreamSource, buffer, stride);
  if (Recorded *block = recording()) {
    block->held.set(StateField::stream);
    block->held.set(StateField::stride);
  }
  DeviceState &target = written();
  if (target.stream != buffer || target.stride != stride)
    changed(GROUP_FORMAT);
  target.stream = buffer;
  target.stride = stride;
}

void Device::setVertexShader(std::uint32_t fvf) {
  tell(&DeviceListener::setVertexShader, fvf);
  if (Recorded *block = recording())
    block->held.set(StateField::fvf);
  else if (current.fvf != fvf)
    changed(GROUP_FORMAT);
  written().fvf = fvf;
}

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
  tell(&DeviceListener::drawPrimitive, type, startVertex, primitiveCount);
  drawer->draw(current, dirty, type, startVertex, vertices);
}

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
  tell(&DeviceListener::drawIndexedTriangles, indices, triangleCount);
  drawer->drawIndexed(current, dirty, indices, count, vertices);
}

} // namespace korvane
