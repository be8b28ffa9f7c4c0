#pragma once

// music: the soundtrack, played beside the show. It knows base/ only.

#include <cstdint>

namespace korvane {

// The soundtrack: "mirl .mp3" in the current folder, played once from
// start-up, free of the show clock. Any failure leaves the show silent
// with one line in the log and on standard error.
bool openMusic(const char *name);
void startMusic();
void stopMusic();

// For the player's seeking and pausing: the music to `milliseconds` from
// its start (played again if it had run out), held still or going on. Each
// does nothing when no music plays.
void seekMusic(std::uint32_t milliseconds);
void pauseMusic(bool paused);
// Where the music is, in milliseconds from its start; -1 when none plays
// or the decoder cannot tell.
double musicPosition();

} // namespace korvane
