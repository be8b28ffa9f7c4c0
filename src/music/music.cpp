#include "music/music.h"

#include "base/debuglog.h"
#include "base/media_path.h"
#include "base/problems.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdio>
#include <string>

namespace korvane {
namespace {

// The one soundtrack of the process.
struct MusicGraph {
  bool audio = false;
  Mix_Music *music = nullptr;
} graph;

void silent(const std::string &why) {
  report(Problem::MusicSilent, "mirl .mp3", 0, {why});
}

} // namespace

bool openMusic(const char *name) {
  writeLog("%s", name);
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0 ||
      Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 2048) != 0) {
    silent(std::string("no audio device (") + SDL_GetError() + ")");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  graph.audio = true;
  const std::string file = resolveMediaPath("mirl .mp3");
  graph.music = Mix_LoadMUS(file.c_str());
  if (!graph.music) {
    silent("\"mirl .mp3\" cannot be played (" + std::string(Mix_GetError()) +
           ")");
    return false;
  }
  return true;
}

void startMusic() {
  if (graph.music && Mix_PlayMusic(graph.music, 1) != 0)
    silent("\"mirl .mp3\" does not start (" + std::string(Mix_GetError()) +
           ")");
}

void stopMusic() {
  if (graph.music) {
    Mix_HaltMusic();
    Mix_FreeMusic(graph.music);
    graph.music = nullptr;
  }
  if (graph.audio) {
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    graph.audio = false;
  }
}

} // namespace korvane
