#pragma once

// platform/web: the functions library.js gives C++, in the page's
// JavaScript.

extern "C" {
void korvane_mark(const char *name, const char *value); // null: removed
void korvane_announce(void *player);
void korvane_download(const char *name, const void *bytes, int size,
                      const char *type);
void korvane_fullscreen(int on);
int korvane_in_fullscreen();
void korvane_cursor(const char *cursor);
void korvane_music_open(const void *bytes, int size, const char *silent);
void korvane_music_start();
void korvane_music_stop();
void korvane_music_seek(double seconds);
void korvane_music_pause(int paused);
double korvane_music_position();
}
