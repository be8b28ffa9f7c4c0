#include "layers/blob/blob_layer.h"

#include "layers/layer_states.h"
#include "playback/layer_transform.h"

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

void loadBlobLayer(Layer &layer, const LoadContext &load) {
  load.logger.line("LOADBLOB");
  auto resources = std::make_unique<BlobLayerResources>();
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
  layer.resources = std::move(resources);
}

void renderBlobLayer(Layer &layer, std::uint32_t t, Device &device,
                     TickSource &ticks) {
  auto *resources = dynamic_cast<BlobLayerResources *>(layer.resources.get());
  if (!resources)
    return;
  // Without a buffer to write into there is nothing to draw this frame.
  auto *out = resources->vertices
                  ? reinterpret_cast<BlobVertex *>(resources->vertices->lock(0))
                  : nullptr;
  if (!out)
    return;
  resources->field->polygonise(out, ticks);
  resources->vertices->unlock();

  device.setTransform(D3DTS_VIEW, buildLayerTransform(layer, t));
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
  device.setTexture(0, resources->texture.get());
  device.setTexture(1, nullptr);
  device.setStreamSource(resources->vertices.get(), sizeof(BlobVertex));
  device.setVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL);
  device.drawPrimitive(
      D3DPT_TRIANGLELIST, 0,
      static_cast<std::uint32_t>(resources->field->triangleCount()));
}

} // namespace korvane
