#pragma once

#include "base/problems.h"
#include "script/show.h"

#include <cstdint>
#include <functional>

namespace korvane {

// What one kind of layer does. The table is filled by whoever owns the
// layer kinds; an empty entry does nothing. The resources a load hangs on
// the layer are released with the layer.
struct LayerKind {
  // Loads the media the layer names, once its block has been read.
  std::function<void(Layer &, const Logger &)> load;
  // Draws the layer at a part time: pass 0 is the layer itself, pass n its
  // n-th shadow, drawn after every layer of the part.
  std::function<void(Layer &, std::uint32_t, int pass)> draw;
  // How many shadow passes the layer has; none when empty.
  std::function<int(const Layer &)> shadowPasses;
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
  void load(Layer &layer, const Logger &logger) const {
    if (const LayerKind *kind = of(layer); kind && kind->load)
      kind->load(layer, logger);
  }
};

} // namespace korvane
