#pragma once

// layers: the layer kinds (meshes, pictures and videos, blobs), their
// loaders and renderers, reached by the parser and the frame composition
// through one table of kinds only. They talk to the device alone, and know
// playback/, gfxutil/, platform/ (video decoding), metaballs/, script/,
// device/ and base/.

#include "base/show_files.h"
#include "device/device.h"
#include "playback/layer_kind.h"
#include "script/show.h"

#include <memory>
#include <string>

namespace korvane {

// Fills the table with every layer kind: how each loads what then draws
// it. The files the script names are found in `folder`, the show's data
// folder (empty: the current one), and read from `files` (null: the disk).
// The device must outlive the table and what it loads.
void registerLayerKinds(LayerKinds &kinds, Device &device,
                        const std::string &folder,
                        std::shared_ptr<const ShowFiles> files = nullptr);

// The player's two passes over a script, as every program runs them. The
// settings pass, quiet by default: the full pass reads the settings again
// and alone tells of problems. The full pass loads each layer through
// `kinds` into the loaded show; `name` is the script as problems name it
// (the file's name when empty). Each is false when the script does not
// begin with <demo>.
// `files` is where the script lies: null for the disk.
bool settingsPass(Show &show, const std::string &script, const Logger &logger,
                  bool quiet = true, const ShowFiles *files = nullptr);
bool fullPass(LoadedShow &loaded, const std::string &script,
              const LayerKinds &kinds, const Logger &logger,
              const std::string &name = {}, const ShowFiles *files = nullptr);

} // namespace korvane
