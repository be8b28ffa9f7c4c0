#pragma once

#include "base/problems.h"
#include "base/show_files.h"
#include "script/show.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Where a layer lies in the show: its part's index and its own.
struct LayerPlace {
  int part = 0, layer = 0;
};

struct ParseOptions {
  // Loads a layer's media once its block has been read, with the logger
  // of the pass; empty: loading off.
  std::function<void(const Layer &, LayerPlace, const Logger &)> load;
  // Problems with the script are only logged, not reported: for a pass
  // whose reading the next pass repeats.
  bool quiet = false;
  // The script's name in what is reported; the file's name when empty.
  std::string name;
  // Where the script lies: null for the disk.
  const ShowFiles *files = nullptr;
};

// One pass over the script file. With `loadparts` false it is the settings
// pass (demo settings only); true is the full pass that also fills parts and
// layers. False when the first token is not <demo>.
// Problems with the script go to `logger`.
bool parseScript(Show &show, const char *filename, bool loadparts,
                 const Logger &logger, const ParseOptions &options = {});
// The same pass over a script already in memory.
bool parseScriptText(Show &show, std::string_view text, bool loadparts,
                     const Logger &logger, const ParseOptions &options = {});
// The settings pass: `partnumber` back to 0, then parseScript without parts.
bool parseSettings(Show &show, const char *filename, const Logger &logger,
                   const ParseOptions &options = {});

// Whether the problem says the text ended in the middle of something (a
// block, a comment, a value), as a file still being written does.
bool endsEarly(Problem id);

// Direct3D 8 blend value (1..13) of a blend name, -1 for any other token.
std::int32_t blendValue(const char *token);

} // namespace korvane
