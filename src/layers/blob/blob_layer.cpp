#include "layers/blob/blob_layer.h"

#include "layers/layer_states.h"

#include <algorithm>

namespace korvane {

void setupBlobField(BlobField &field, const Layer &layer) {
  // The field takes each of the blobs' lists as one array.
  float positions[maxBlobs][3], sizes[maxBlobs], amplitudes[maxBlobs][3];
  std::int32_t types[maxBlobs];
  for (int i = 0; i < maxBlobs; ++i) {
    const Blob &blob = layer.blobs[i];
    std::copy_n(blob.blobposition, 3, positions[i]);
    sizes[i] = blob.blobsize;
    types[i] = blob.blobtype;
    std::copy_n(blob.blobmul, 3, amplitudes[i]);
  }
  field.setup(layer.blobsnum, positions, sizes, types, amplitudes);
}

std::unique_ptr<BlobLayer> loadBlobLayer(const Layer &layer,
                                         const LoadContext &load) {
  load.logger.line("LOADBLOB");
  auto resources = std::make_unique<BlobLayer>(load.device);
  resources->texture =
      loadLayerTexture(load, layer.filename, Problem::PictureNotLoaded);
  if (layer.blobsnum > BlobField::maxBalls)
    load.logger.report(
        Problem::BlobCountCut, "", 0,
        {std::to_string(layer.blobsnum), std::to_string(BlobField::maxBalls)});
  resources->vertices = load.device.createVertexBuffer(
      blobVertexCapacity * sizeof(BlobVertex), 0, D3DFVF_XYZ | D3DFVF_NORMAL,
      D3DPOOL_DEFAULT);
  resources->field = std::make_unique<BlobField>();
  setupBlobField(*resources->field, layer);
  return resources;
}

void BlobLayer::draw(const Layer &layer, const LayerPose &pose) {
  // Both readings of the field's clock give the frame's show time, so that
  // a frame is the same picture however play came to it.
  struct ShowTime final : TickSource {
    std::uint32_t ms;
    explicit ShowTime(std::uint32_t ms) : ms(ms) {}
    std::uint32_t tickCount() override { return ms; }
  } ticks(pose.showTime);
  draw(layer, pose, ticks);
}

void BlobLayer::draw(const Layer &layer, const LayerPose &pose,
                     TickSource &ticks) {
  // Without a buffer to write into there is nothing to draw this frame.
  auto *out =
      vertices ? reinterpret_cast<BlobVertex *>(vertices->lock(0)) : nullptr;
  if (!out)
    return;
  field->polygonise(out, ticks);
  vertices->unlock();

  device.setTransform(D3DTS_VIEW, pose.matrix);
  if (layer.envmap == ENVMAP_CUBEMAP)
    return;

  setLayerDepth(device, layer);
  setLayerBlend(device, layer);
  device.setRenderState(D3DRS_CULLMODE,
                        layer.cull ? D3DCULL_CCW : D3DCULL_NONE);
  device.setRenderState(D3DRS_NORMALIZENORMALS, 1);
  device.setRenderState(D3DRS_DITHERENABLE, 1);

  // Sphere mapping from the camera-space reflection vector r:
  // (0.5 rx + 0.5, 0.5 - 0.5 ry).
  Matrix reflection = matrixIdentity();
  reflection.m[0][0] = 0.5f;
  reflection.m[1][1] = -0.5f;
  reflection.m[3][0] = 0.5f;
  reflection.m[3][1] = 0.5f;
  device.setTransform(D3DTS_TEXTURE0, reflection);
  device.setTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
  device.setTextureStageState(0, D3DTSS_TEXCOORDINDEX,
                              D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
  device.setRenderState(D3DRS_LIGHTING, 0);
  device.setTexture(0, texture.get());
  device.setTexture(1, nullptr);
  device.setStreamSource(vertices.get(), sizeof(BlobVertex));
  device.setVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL);
  device.drawPrimitive(D3DPT_TRIANGLELIST, 0,
                       static_cast<std::uint32_t>(field->triangleCount()));
}

} // namespace korvane
