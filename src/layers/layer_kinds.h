#pragma once

// layers: the layer kinds (meshes, pictures and videos, blobs), their
// loaders and renderers, reached by the parser and the frame composition
// through their tables only. They talk to the device alone, and know
// playback/, gfxutil/, platform/ (video decoding), metaballs/, script/,
// device/ and base/.

#include "base/tick_source.h"
#include "device/device.h"
#include "playback/compose.h"
#include "script/parser.h"

namespace korvane {

// Fills the loader and renderer tables with the layer kinds built so far.
// `ticks` is the clock the blob motion reads; the files the script names
// are found in `folder`, the show's data folder (empty: the current one).
void registerLayerKinds(LayerLoaders &loaders, LayerRenderers &renderers,
                        Device &device, TickSource &ticks,
                        const std::string &folder);

} // namespace korvane
