#include "layers/layer_kinds.h"

#include "layers/blob/blob_layer.h"
#include "layers/picture/picture_layer.h"

namespace korvane {

void registerLayerKinds(LayerLoaders &loaders, LayerRenderers &renderers,
                        Device &device, TickSource &ticks) {
  for (int kind : {LAYER_PICTURE, LAYER_AVIPICTURE}) {
    loaders.byType[kind] = [&device](Layer &layer) {
      return loadPictureLayer(layer, device);
    };
    renderers.byType[kind] = [&device](Layer &layer, std::uint32_t t) {
      return renderPictureLayer(layer, t, device);
    };
  }
  loaders.byType[LAYER_BLOB] = [&device](Layer &layer) {
    return loadBlobLayer(layer, device);
  };
  renderers.byType[LAYER_BLOB] = [&device, &ticks](Layer &layer,
                                                   std::uint32_t t) {
    return renderBlobLayer(layer, t, device, ticks);
  };
}

} // namespace korvane
