#pragma once

#include "base/math3d.h"
#include "base/problems.h"
#include "script/show.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace korvane {

// Where a layer stands in the frame being drawn, worked out from its
// timeline before its kind draws it.
struct LayerPose {
  std::uint32_t partTime = 0; // ms since the part began
  std::uint32_t showTime = 0; // the show time the blobs move on
  int pass = 0;               // 0 the layer, n its n-th shadow
  Matrix matrix = {};         // the layer's matrix for the pass
  std::uint32_t color = 0;    // its colour, keys applied
};

// What loading one layer made (meshes, textures, buffers, a video, a blob
// field) and how it draws: owned by the loaded show, freed with it, before
// the device it was made on.
class LoadedLayer {
public:
  virtual ~LoadedLayer() = default;
  virtual void draw(const Layer &layer, const LayerPose &pose) = 0;
  // How many shadow passes follow every layer of the part.
  virtual int shadowPasses(const Layer &) const { return 0; }
};

// What one kind of layer does: loads the media a layer names, once its
// block has been read. A kind that draws nothing (or a load that made
// nothing) gives null.
struct LayerKind {
  std::function<std::unique_ptr<LoadedLayer>(const Layer &, const Logger &)>
      load;
};

struct LayerKinds {
  LayerKind byType[layerTypeCount];

  // The layer's kind; null for a type outside the table.
  const LayerKind *of(const Layer &layer) const {
    if (layer.type < 0 || layer.type >= layerTypeCount)
      return nullptr;
    return &byType[layer.type];
  }
  // Runs the layer's loader, if its kind has one.
  std::unique_ptr<LoadedLayer> load(const Layer &layer,
                                    const Logger &logger) const {
    if (const LayerKind *kind = of(layer); kind && kind->load)
      return kind->load(layer, logger);
    return nullptr;
  }
};

// A show as it plays: the parsed script, which nothing changes once read,
// and what loading made for each of its layers.
struct LoadedShow {
  Show show;
  std::array<std::array<std::unique_ptr<LoadedLayer>, maxLayers>, maxParts>
      layers;

  LoadedShow() = default;
  LoadedShow(const LoadedShow &) = delete;
  LoadedShow &operator=(const LoadedShow &) = delete;
  // In the show's order, as they were made.
  ~LoadedShow() {
    for (auto &part : layers)
      for (auto &made : part)
        made.reset();
  }

  LoadedLayer *layer(std::size_t part, std::size_t index) const {
    return part < maxParts && index < maxLayers ? layers[part][index].get()
                                                : nullptr;
  }
};

} // namespace korvane
