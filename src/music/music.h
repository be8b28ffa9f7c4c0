#pragma once

// music: the soundtrack, played beside the show. It knows base/ only.

#include "base/problems.h"
#include "base/show_files.h"

#include <cstdint>
#include <string>

namespace korvane {

// The soundtrack: `file` (the show folder's "mirl .mp3"), played once from
// start-up, free of the show clock; the log gets the name the script gave.
// Any failure leaves the show silent, reported to `logger`.
// `files`: where the music lies.
bool openMusic(const char *name, const std::string &file, const Logger &logger,
               const ShowFiles &files = diskFiles());
void startMusic(const Logger &logger);
void stopMusic();

// For the player's seeking and pausing: the music to `milliseconds` from
// its start (played again if it had run out), held still or going on. Each
// does nothing when no music plays.
void seekMusic(std::uint32_t milliseconds, const Logger &logger);
void pauseMusic(bool paused);
// Where the music is, in milliseconds from its start; -1 when none plays
// or the decoder cannot tell.
double musicPosition();

} // namespace korvane
