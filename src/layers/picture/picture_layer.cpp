#include "layers/picture/picture_layer.h"

#include "layers/layer_states.h"

#include <cmath>

namespace korvane {
namespace {

constexpr std::uint32_t pictureFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

void writeQuad(PictureVertex *v, const Layer &layer) {
  const float w = layer.size[0], h = layer.size[1];
  // Video frames come bottom row first: the video quad flips v.
  const bool video = layer.type == LAYER_AVIPICTURE;
  v[0] = {-w / 2, h / 2, 0, layer.color, 0, video ? 1.0f : 0.0f};
  v[1] = {w / 2, h / 2, 0, layer.color, 1, video ? 1.0f : 0.0f};
  v[2] = {-w / 2, -h / 2, 0, layer.color, 0, video ? 0.0f : 1.0f};
  v[3] = {w / 2, -h / 2, 0, layer.color, 1, video ? 0.0f : 1.0f};
}

} // namespace

std::unique_ptr<PictureLayer> loadPictureLayer(const Layer &layer,
                                               const LoadContext &load) {
  Device &device = load.device;
  auto resources = std::make_unique<PictureLayer>(device);
  if (layer.type == LAYER_AVIPICTURE) {
    load.logger.line("LOADAVIPICTURE");
    load.logger.line("%s", layer.filename);
    resources->picturetexture =
        device.createTexture(256, 256, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT);
    if (!resources->picturetexture)
      load.logger.report(Problem::VideoTextureNotMade, layer.filename, 0,
                         {layer.filename});
    else
      openAviStream(resources->avistream, layer.filename, load,
                    resources->picturetexture.get());
  } else {
    load.logger.line("LOADPICTURE");
    resources->picturetexture =
        loadLayerTexture(load, layer.filename, Problem::PictureNotLoaded);
  }
  resources->picturevertices = device.createVertexBuffer(
      4 * sizeof(PictureVertex), 0, pictureFvf, D3DPOOL_DEFAULT);
  if (auto *v = resources->picturevertices
                    ? reinterpret_cast<PictureVertex *>(
                          resources->picturevertices->lock(0))
                    : nullptr) {
    writeQuad(v, layer);
    resources->picturevertices->unlock();
  }
  return resources;
}

std::uint32_t aviTime(std::uint32_t t, float speed) {
  const float v = static_cast<float>(t) * speed;
  // Truncated through 64 bits to the low 32, as the original runtime did;
  // what 64 bits cannot hold (and NaN) gave its "indefinite" value, whose
  // low 32 bits are 0.
  if (!(std::fabs(v) < 9.2233715e18f))
    return 0;
  return static_cast<std::uint32_t>(static_cast<std::int64_t>(v));
}

void PictureLayer::draw(const Layer &layer, const LayerPose &pose) {
  if (!picturevertices)
    return;
  if (layer.type == LAYER_AVIPICTURE)
    updateAviStream(avistream, aviTime(pose.partTime, layer.avispeed));
  auto *v = reinterpret_cast<PictureVertex *>(picturevertices->lock(0));
  for (int i = 0; i < 4; ++i)
    v[i].color = pose.color;
  picturevertices->unlock();

  device.setTransform(D3DTS_VIEW, pose.matrix);
  setLayerDepth(device, layer);
  if (setLayerBlend(device, layer)) {
    device.setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device.setTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device.setTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device.setTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device.setTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device.setTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  }
  device.setRenderState(D3DRS_CULLMODE,
                        layer.cull ? D3DCULL_CCW : D3DCULL_NONE);
  device.setTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  device.setTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  device.setTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
  device.setRenderState(D3DRS_LIGHTING, 0);
  device.setTexture(0, picturetexture.get());
  device.setTexture(1, nullptr);
  device.setStreamSource(picturevertices.get(), sizeof(PictureVertex));
  device.setVertexShader(pictureFvf);
  device.drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
}

} // namespace korvane
