#pragma once

#include <string>

namespace korvane {

// The file a show names, as it exists here. Shows written on Windows name
// files with backslashes and in any case: a name that does not exist as
// written is looked up component by component, ignoring case. Returns the
// name unchanged when nothing matches, so that the caller's open fails
// with the name the show gave.
std::string resolveMediaPath(const std::string &name);
// The same for a name a show gives inside `folder` (none: the current
// folder); an absolute name stands alone.
std::string resolveMediaPath(const std::string &name,
                             const std::string &folder);

// A show folder's own files, found in any case once, when it is opened.
// Whoever opens a file of the show is handed this; nothing changes the
// current folder.
struct ShowFolder {
  std::string root;   // the show folder, absolute
  std::string data;   // its "Data" folder
  std::string script; // "mirl .script" in data
  std::string music;  // "mirl .mp3" in the show folder
  std::string log;    // "debug.log" in data
  // A file the script names, which lies in data.
  std::string file(const std::string &name) const {
    return resolveMediaPath(name, data);
  }
};
ShowFolder findShowFolder(const std::string &root);

} // namespace korvane
