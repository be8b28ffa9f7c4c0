#pragma once

#include <string>

namespace korvane {

// The file a show names, as it exists here. Shows written on Windows name
// files with backslashes and in any case: a name that does not exist as
// written is looked up component by component, ignoring case. Returns the
// name unchanged when nothing matches, so that the caller's open fails
// with the name the show gave.
std::string resolveMediaPath(const std::string &name);

} // namespace korvane
