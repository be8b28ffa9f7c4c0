#pragma once

#include "base/problems.h"
#include "base/show_files.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korvane {

// The show's soundtrack, played beside it through the system's sound
// output, free of the show clock. Any failure leaves the show silent,
// reported to the logger handed in. The system has one music channel:
// one soundtrack plays at a time. Whatever is open is stopped when the
// soundtrack ends.
class Soundtrack {
public:
  virtual ~Soundtrack() = default;
  // Opens `file` (the show folder's "mirl .mp3") from `files`; the log
  // gets `name`, the name the script gave. False when it stays silent.
  virtual bool open(const char *name, const std::string &file,
                    const Logger &logger, const ShowFiles &files) = 0;
  // Plays it once from its start.
  virtual void start(const Logger &logger) = 0;
  // Ends the music and lets the sound output go.
  virtual void stop() = 0;

  // For the player's seeking and pausing: the music to `milliseconds` from
  // its start (played again if it had run out), held still or going on.
  // Each does nothing when no music is open.
  virtual void seek(std::uint32_t milliseconds, const Logger &logger) = 0;
  virtual void pause(bool paused) = 0;
  // Where the music is, in milliseconds from its start; -1 when none plays
  // or the decoder cannot tell.
  virtual double position() const = 0;
};

// The platform's soundtrack player.
std::unique_ptr<Soundtrack> makeSoundtrack();

} // namespace korvane
