#pragma once

#include <string>
#include <vector>

namespace korvane {

// base: what every layer of Korvane may use and what uses nothing of
// Korvane: the debug log and the problem reports (problems.h), the clocks
// and tick sources, the frame timer, media paths and the maths.

// The diagnostic log. One process-wide file, reopened for every line so that
// everything written survives a crash.

// Empties (or creates) the file and keeps its absolute name: every line
// goes to this file, whatever the current folder later is.
// A name that is a link, or anything but a plain file, is refused: false
// with `why`, and lines then reach the capture only.
void openLog(const char *filename);
bool openLog(const char *filename, std::string &why);

// printf-style; appends one line. Lines longer than the 1024-byte line buffer
// are cut, never overflowed. Works without an open log: the line then only
// reaches the capture, if one is set.
void writeLog(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Forgets the file name; later lines reach the capture only.
void closeLog();

// Collects every written line (without its line feed) in `lines` as well,
// for tools and tests that need the text rather than the file. Null stops it.
void setLogCapture(std::vector<std::string> *lines);

} // namespace korvane
