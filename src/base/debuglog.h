#pragma once

#include "base/problems.h"

#include <string>

namespace korvane {

// base: what every layer of Korvane may use and what uses nothing of
// Korvane: the debug log and the problem reports (problems.h), the clocks
// and tick sources, the frame timer, media paths and the maths.

// The diagnostic log's file: a sink of a logger's lines. The file is
// reopened for every line so that everything written survives a crash.
class LogFile {
public:
  // Empties (or creates) the file and keeps its absolute name: every line
  // goes to this file, whatever the current folder later is.
  // A name that is a link, or anything but a plain file, is refused: false
  // with `why`, and the file then takes no line.
  bool open(const std::string &filename, std::string &why);
  // Appends one line, when the file is open.
  void write(const std::string &line) const;
  // Forgets the file name; later lines are dropped.
  void close() { name.clear(); }

private:
  std::string name; // empty: not open
};

// The sink that writes a logger's lines into `file`, which must outlive
// every logger the sink is added to.
LineSink logFileSink(const LogFile &file);

} // namespace korvane
