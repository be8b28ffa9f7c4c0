#pragma once

#include "base/show_files.h"

#include <memory>
#include <string>
#include <vector>

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
// That name as a path, looked up nowhere.
std::string nameInFolder(const std::string &name, const std::string &folder);

// A show folder's own files, found in any case once, when it is opened.
// Whoever opens a file of the show is handed this; nothing changes the
// current folder. A show may also be a .zip archive, its folder inside it.
struct ShowFolder {
  std::string root;   // the show folder, absolute
  std::string data;   // its "Data" folder
  std::string script; // "mirl .script" in data
  std::string music;  // "mirl .mp3" in the show folder
  // "debug.log" in data, "ARCHIVE.debug.log" beside an archive, or where
  // that cannot be written, NAME.debug.log in the user's state folder.
  std::string log;
  // Where stills go: the show folder, the archive's folder, or the state
  // folder for a show that must not be written (installed, or read-only).
  std::string outputs;
  // Where the files are read: the disk or the archive.
  std::shared_ptr<const ShowFiles> files;
  // An archive's: the path the user gave, why it cannot be played (empty
  // when it can), and the entries refused.
  std::string archive;
  std::string unreadable;
  std::vector<RefusedEntry> refused;
  // Where on the disk a change to a file the script names shows.
  std::string file(const std::string &name) const {
    return files->onDisk(nameInFolder(name, data));
  }
};
// The show folder at `root`, or in the archive that `root` names.
ShowFolder findShowFolder(const std::string &root);
// Whether `path` is `folder` or lies inside it, both written alike
// (canonical, or both as given).
bool insideFolder(const std::string &path, const std::string &folder);
// The user's state folder for Korvane: $XDG_STATE_HOME/korvane, or
// ~/.local/state/korvane.
std::string stateFolder();

} // namespace korvane
