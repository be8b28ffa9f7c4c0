#include "platform/soundtrack.h"

#include "platform/web/library.h"

#include <string>

namespace korvane {
namespace {

// The music plays in the browser's <audio> element (library.js).
class BrowserSoundtrack final : public Soundtrack {
public:
  BrowserSoundtrack() = default;
  ~BrowserSoundtrack() override { stop(); }
  BrowserSoundtrack(const BrowserSoundtrack &) = delete;
  BrowserSoundtrack &operator=(const BrowserSoundtrack &) = delete;

  bool open(const char *name, const std::string &file, const Logger &logger,
            const ShowFiles &files) override {
    logger.line("%s", name);
    stop();
    std::string bytes, why;
    if (!files.read(file, bytes, why)) {
      logger.report(Problem::MusicSilent, "mirl .mp3", 0,
                    {"\"mirl .mp3\" cannot be read (" + why + ")"});
      return false;
    }
    // The line the browser's refusal gets, its reason left open.
    const std::string silent =
        "korvane: " + problemId(Problem::MusicSilent) + ": " +
        problemText(Problem::MusicSilent,
                    {"\"mirl .mp3\" cannot be played ({0})"});
    korvane_music_open(bytes.data(), static_cast<int>(bytes.size()),
                       silent.c_str());
    playing = true;
    return true;
  }
  void start(const Logger &) override {
    if (playing)
      korvane_music_start();
  }
  void stop() override {
    if (playing)
      korvane_music_stop();
    playing = false;
  }
  void seek(std::uint32_t milliseconds, const Logger &) override {
    if (playing)
      korvane_music_seek(milliseconds / 1000.0);
  }
  void pause(bool paused) override {
    if (playing)
      korvane_music_pause(paused);
  }
  double position() const override {
    return playing ? korvane_music_position() : -1;
  }

private:
  bool playing = false; // music is open
};

} // namespace

std::unique_ptr<Soundtrack> makeSoundtrack() {
  return std::make_unique<BrowserSoundtrack>();
}

} // namespace korvane
