#pragma once

// platform: what a player inside a web page asks of the page around it,
// made real by the web platform alone (web/page.cpp): its frames, the
// marks it leaves on the canvas for whoever automates the page, and files
// offered for download.

#include <cstdint>
#include <string>

namespace korvane::page {

// Calls `turn(arg)` once per animation frame of the page from now on, or,
// `unpaced`, as often as the page lets it (for measuring). Returns at once.
void everyFrame(void (*turn)(void *), void *arg, bool unpaced);
// Tells the page that the player is ready, handing it `player` to pass back
// to the functions it calls.
void ready(void *player);
// The canvas carries data-shown="MS" once the frame asked for at `ms` is on
// it; a negative `ms` takes the mark away.
void markShown(std::int64_t ms);
// The frame on the canvas: its show time, whether the show is paused, and
// how many frames have been drawn since the show opened.
void markFrame(std::uint32_t showTime, bool paused, std::uint32_t frames);
// Offers `bytes` to the person as a download named `name`.
void offerDownload(const std::string &name, const std::string &bytes,
                   const char *type);

} // namespace korvane::page
