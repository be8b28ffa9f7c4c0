#include "layers/layer_kinds.h"

#include "layers/blob/blob_layer.h"
#include "layers/mesh/mesh_layer.h"
#include "layers/picture/picture_layer.h"

namespace korvane {

void registerLayerKinds(LayerLoaders &loaders, LayerRenderers &renderers,
                        Device &device, TickSource &ticks) {
  // The tables look at no result.
  loaders.byType[LAYER_XFILE] = [&device](Layer &layer) {
    loadMeshLayer(layer, device);
  };
  renderers.byType[LAYER_XFILE] = [&device](Layer &layer, std::uint32_t t) {
    renderMeshLayer(layer, t, device);
  };
  loaders.byType[LAYER_KTRFILE] = dumpKtrFile;
  for (int kind : {LAYER_PICTURE, LAYER_AVIPICTURE}) {
    loaders.byType[kind] = [&device](Layer &layer) {
      loadPictureLayer(layer, device);
    };
    renderers.byType[kind] = [&device](Layer &layer, std::uint32_t t) {
      renderPictureLayer(layer, t, device);
    };
  }
  loaders.byType[LAYER_BLOB] = [&device](Layer &layer) {
    loadBlobLayer(layer, device);
  };
  renderers.byType[LAYER_BLOB] = [&device, &ticks](Layer &layer,
                                                   std::uint32_t t) {
    renderBlobLayer(layer, t, device, ticks);
  };
}

} // namespace korvane
