#include "layers/layer_kinds.h"

#include "layers/blob/blob_layer.h"

namespace korvane {

void registerLayerKinds(LayerLoaders &loaders, LayerRenderers &renderers,
                        Device &device, TickSource &ticks) {
  loaders.byType[LAYER_BLOB] = [&device](Layer &layer) {
    return loadBlobLayer(layer, device);
  };
  renderers.byType[LAYER_BLOB] = [&device, &ticks](Layer &layer,
                                                   std::uint32_t t) {
    return renderBlobLayer(layer, t, device, ticks);
  };
}

} // namespace korvane
