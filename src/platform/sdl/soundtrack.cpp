#include "platform/soundtrack.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <string>

namespace korvane {
namespace {

// SDL_mixer's music: what it plays, and the bytes it plays from.
class MixerSoundtrack final : public Soundtrack {
public:
  MixerSoundtrack() = default;
  ~MixerSoundtrack() override { stop(); }
  MixerSoundtrack(const MixerSoundtrack &) = delete;
  MixerSoundtrack &operator=(const MixerSoundtrack &) = delete;

  bool open(const char *name, const std::string &file, const Logger &logger,
            const ShowFiles &files) override;
  void start(const Logger &logger) override;
  void stop() override;
  void seek(std::uint32_t milliseconds, const Logger &logger) override;
  void pause(bool paused) override;
  double position() const override;

private:
  bool audio = false;
  Mix_Music *music = nullptr;
  std::string bytes; // the music as read, while it plays
};

void silent(const Logger &logger, const std::string &why) {
  logger.report(Problem::MusicSilent, "mirl .mp3", 0, {why});
}

bool MixerSoundtrack::open(const char *name, const std::string &file,
                           const Logger &logger, const ShowFiles &files) {
  logger.line("%s", name);
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0 ||
      Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 2048) != 0) {
    silent(logger, std::string("no audio device (") + SDL_GetError() + ")");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  audio = true;
  std::string why;
  if (!files.read(file, bytes, why)) {
    silent(logger, "\"mirl .mp3\" cannot be read (" + why + ")");
    return false;
  }
  music = Mix_LoadMUS_RW(
      SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size())), 1);
  if (!music) {
    silent(logger, "\"mirl .mp3\" cannot be played (" +
                       std::string(Mix_GetError()) + ")");
    return false;
  }
  return true;
}

void MixerSoundtrack::start(const Logger &logger) {
  if (music && Mix_PlayMusic(music, 1) != 0)
    silent(logger, "\"mirl .mp3\" does not start (" +
                       std::string(Mix_GetError()) + ")");
}

void MixerSoundtrack::seek(std::uint32_t milliseconds, const Logger &logger) {
  if (!music)
    return;
  const bool paused = Mix_PausedMusic() != 0;
  // Music that has played to its end is halted: it starts again to seek.
  if (!Mix_PlayingMusic() && Mix_PlayMusic(music, 1) != 0)
    return;
  if (Mix_SetMusicPosition(milliseconds / 1000.0) != 0)
    logger.report(Problem::MusicNotSought, "mirl .mp3", 0,
                  {std::to_string(milliseconds), Mix_GetError()});
  if (paused)
    Mix_PauseMusic();
}

void MixerSoundtrack::pause(bool paused) {
  if (!music)
    return;
  if (paused)
    Mix_PauseMusic();
  else
    Mix_ResumeMusic();
}

double MixerSoundtrack::position() const {
  if (!music || !Mix_PlayingMusic())
    return -1;
  const double seconds = Mix_GetMusicPosition(music);
  return seconds < 0 ? -1 : seconds * 1000.0;
}

void MixerSoundtrack::stop() {
  if (music) {
    Mix_HaltMusic();
    Mix_FreeMusic(music);
    music = nullptr;
    bytes.clear();
  }
  if (audio) {
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audio = false;
  }
}

} // namespace

std::unique_ptr<Soundtrack> makeSoundtrack() {
  return std::make_unique<MixerSoundtrack>();
}

} // namespace korvane
