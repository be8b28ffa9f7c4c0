#include "music/music.h"

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
  std::string bytes; // the music as read, while it plays
} graph;

void silent(const Logger &logger, const std::string &why) {
  logger.report(Problem::MusicSilent, "mirl .mp3", 0, {why});
}

} // namespace

bool openMusic(const char *name, const std::string &file, const Logger &logger,
               const ShowFiles &files) {
  logger.line("%s", name);
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0 ||
      Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 2048) != 0) {
    silent(logger, std::string("no audio device (") + SDL_GetError() + ")");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  graph.audio = true;
  std::string why;
  if (!files.read(file, graph.bytes, why)) {
    silent(logger, "\"mirl .mp3\" cannot be read (" + why + ")");
    return false;
  }
  graph.music =
      Mix_LoadMUS_RW(SDL_RWFromConstMem(graph.bytes.data(),
                                        static_cast<int>(graph.bytes.size())),
                     1);
  if (!graph.music) {
    silent(logger, "\"mirl .mp3\" cannot be played (" +
                       std::string(Mix_GetError()) + ")");
    return false;
  }
  return true;
}

void startMusic(const Logger &logger) {
  if (graph.music && Mix_PlayMusic(graph.music, 1) != 0)
    silent(logger, "\"mirl .mp3\" does not start (" +
                       std::string(Mix_GetError()) + ")");
}

void seekMusic(std::uint32_t milliseconds, const Logger &logger) {
  if (!graph.music)
    return;
  const bool paused = Mix_PausedMusic() != 0;
  // Music that has played to its end is halted: it starts again to seek.
  if (!Mix_PlayingMusic() && Mix_PlayMusic(graph.music, 1) != 0)
    return;
  if (Mix_SetMusicPosition(milliseconds / 1000.0) != 0)
    logger.report(Problem::MusicNotSought, "mirl .mp3", 0,
                  {std::to_string(milliseconds), Mix_GetError()});
  if (paused)
    Mix_PauseMusic();
}

void pauseMusic(bool paused) {
  if (!graph.music)
    return;
  if (paused)
    Mix_PauseMusic();
  else
    Mix_ResumeMusic();
}

double musicPosition() {
  if (!graph.music || !Mix_PlayingMusic())
    return -1;
  const double seconds = Mix_GetMusicPosition(graph.music);
  return seconds < 0 ? -1 : seconds * 1000.0;
}

void stopMusic() {
  if (graph.music) {
    Mix_HaltMusic();
    Mix_FreeMusic(graph.music);
    graph.music = nullptr;
    graph.bytes.clear();
  }
  if (graph.audio) {
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    graph.audio = false;
  }
}

} // namespace korvane
