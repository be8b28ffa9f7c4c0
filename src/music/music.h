#pragma once

// music: the soundtrack, played beside the show. It knows base/ only.

namespace korvane {

// The soundtrack: "mirl .mp3" in the current folder, played once from
// start-up, free of the show clock. Any failure leaves the show silent
// with one line in the log and on standard error.
bool openMusic(const char *name);
void startMusic();
void stopMusic();

} // namespace korvane
