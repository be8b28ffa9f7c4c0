#pragma once

#include <string>
#include <vector>

namespace korvane {

// The diagnostic log. One process-wide file, reopened for every line so that
// everything written survives a crash.

// Copies the name and empties (or creates) the file. A relative name is
// resolved against the current folder again at every write.
bool openLog(const char *filename);

// printf-style; appends one line. Lines longer than the 1024-byte line buffer
// are cut, never overflowed. Works without an open log: the line then only
// reaches the capture, if one is set.
bool writeLog(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Forgets the file name; later lines reach the capture only.
bool closeLog();

// Collects every written line (without its line feed) in `lines` as well,
// for tools and tests that need the text rather than the file. Null stops it.
void setLogCapture(std::vector<std::string> *lines);

// A problem for people that debug.log has no line for (tools read that
// file and rely on its lines): printf-style, one line naming the file and
// the reason, on standard error, or into the capture when one is set.
void reportProblem(const char *format, ...)
    __attribute__((format(printf, 1, 2)));

// Collects reported problems in `lines` instead of writing them to
// standard error. Null stops it.
void setProblemCapture(std::vector<std::string> *lines);

} // namespace korvane
