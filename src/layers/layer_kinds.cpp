#include "layers/layer_kinds.h"

#include "layers/blob/blob_layer.h"
#include "layers/mesh/mesh_layer.h"
#include "layers/picture/picture_layer.h"

namespace korvane {

void registerLayerKinds(LayerLoaders &loaders, LayerRenderers &renderers,
                        Device &device, TickSource &ticks,
                        const std::string &folder) {
  // The tables look at no result.
  loaders.byType[LAYER_XFILE] = [&device, folder](Layer &layer) {
    loadMeshLayer(layer, device, folder);
  };
  renderers.byType[LAYER_XFILE] = [&device](Layer &layer, std::uint32_t t) {
    renderMeshLayer(layer, t, device);
  };
  loaders.byType[LAYER_KTRFILE] = [folder](Layer &layer) {
    dumpKtrFile(layer, folder);
  };
  for (int kind : {LAYER_PICTURE, LAYER_AVIPICTURE}) {
    loaders.byType[kind] = [&device, folder](Layer &layer) {
      loadPictureLayer(layer, device, folder);
    };
    renderers.byType[kind] = [&device](Layer &layer, std::uint32_t t) {
      renderPictureLayer(layer, t, device);
    };
  }
  loaders.byType[LAYER_BLOB] = [&device, folder](Layer &layer) {
    loadBlobLayer(layer, device, folder);
  };
  renderers.byType[LAYER_BLOB] = [&device, &ticks](Layer &layer,
                                                   std::uint32_t t) {
    renderBlobLayer(layer, t, device, ticks);
  };
}

} // namespace korvane
