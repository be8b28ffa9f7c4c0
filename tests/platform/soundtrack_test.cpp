#include "platform/soundtrack.h"

#include "problem_capture.h"
#include "temp_folder.h"
#include "zip_writer.h"
#include <SDL.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace korvane;

namespace {

// "mirl .mp3" is looked up in the current folder.
struct Folder : korvane::test::TempFolder {
  Folder() : TempFolder(true) {}
};

} // namespace

// The same samples from the file and from a show's archive.
TEST(Music, PlaysDecodedSamples) {
  Folder folder;
  const std::unique_ptr<Soundtrack> track = makeSoundtrack();
  const int made = std::system(
      "ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=2 "
      "-c:a libmp3lame 'mirl .mp3' </dev/null >/dev/null 2>&1");
  ASSERT_EQ(made, 0) << "ffmpeg could not make the test MP3";
  std::ifstream mp3("mirl .mp3", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(mp3)),
                          std::istreambuf_iterator<char>());
  const std::string zip = (folder.path / "show.zip").string();
  ASSERT_TRUE(korvane::test::writeZip(zip, {{"Mirl .MP3", bytes}}));
  std::vector<korvane::RefusedEntry> refused;
  std::string why;
  const auto archive = korvane::ShowArchive::open(zip, refused, why);
  ASSERT_TRUE(archive) << why;
  for (bool zipped : {false, true}) {
    SCOPED_TRACE(zipped ? "archive" : "file");
    const fs::path raw = folder.path / "out.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    std::vector<std::string> log;
    Logger logger = standardLogger();
    logger.addLines([&log](const std::string &line) { log.push_back(line); });
    EXPECT_TRUE(
        zipped ? track->open("theme.mp3", zip + "/mirl .mp3", logger, *archive)
               : track->open("theme.mp3", "mirl .mp3", logger, diskFiles()));
    track->start(logger);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    track->stop();
    EXPECT_EQ(log, std::vector<std::string>{"theme.mp3"});
    std::ifstream in(raw, std::ios::binary);
    const std::string samples((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    ASSERT_GT(samples.size(), 1000u);
    int loud = 0;
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
      const auto value = static_cast<std::int16_t>(
          static_cast<unsigned char>(samples[i]) |
          static_cast<unsigned char>(samples[i + 1]) << 8);
      loud += std::abs(value) > 1000;
    }
    EXPECT_GT(loud, 100);
    EXPECT_FALSE(SDL_WasInit(SDL_INIT_AUDIO));
  }
}

TEST(Music, BrokenFilesPlayOnInSilence) {
  Folder folder;
  const std::unique_ptr<Soundtrack> track = makeSoundtrack();
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_EQ(std::system("ffmpeg -loglevel error -f lavfi -i "
                        "sine=frequency=440:duration=2 -c:a libmp3lame "
                        "whole.mp3 </dev/null >/dev/null 2>&1"),
            0);
  std::ifstream in("whole.mp3", std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(in)),
                          std::istreambuf_iterator<char>());
  const std::string png = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR";
  // The name: nothing, an empty file, another kind of file, half a file.
  for (const auto &[bytes, plays] : std::vector<std::pair<std::string, bool>>{
           {"", false}, {png, false}, {whole.substr(0, 3000), true}}) {
    SCOPED_TRACE(bytes.size());
    std::ofstream("mirl .mp3", std::ios::binary) << bytes;
    korvane::test::ReportedProblems problems;
    EXPECT_EQ(track->open("song", "mirl .mp3", problems, diskFiles()), plays);
    track->start(problems);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    track->stop();
    // debug.log has the name alone; why it does not play goes to people.
    EXPECT_EQ(problems.lines, std::vector<std::string>{"song"});
    EXPECT_EQ(problems.count(Problem::MusicSilent), plays ? 0 : 1);
  }
  fs::remove("mirl .mp3");
  korvane::test::ReportedProblems problems;
  EXPECT_FALSE(track->open("song", "mirl .mp3", problems, diskFiles()));
  track->start(problems);
  track->stop();
  EXPECT_EQ(problems.lines, std::vector<std::string>{"song"});
  EXPECT_EQ(problems.ids(), std::vector<Problem>{Problem::MusicSilent});
  EXPECT_EQ(problems.reports[0].file, "mirl .mp3");
  EXPECT_NE(problems.reports[0].text.find("silence"), std::string::npos);
}

// The player's seeks and pauses reach the music: it goes where it is sent,
// stands while paused, and plays again when sent back after its end.
TEST(Music, FollowsSeeksAndPauses) {
  Folder folder;
  const int made = std::system(
      "ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=4 "
      "-c:a libmp3lame 'mirl .mp3' </dev/null >/dev/null 2>&1");
  ASSERT_EQ(made, 0) << "ffmpeg could not make the test MP3";
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const Logger logger = standardLogger();
  const std::unique_ptr<Soundtrack> track = makeSoundtrack();
  track->seek(1000, logger); // nothing open: nothing happens
  EXPECT_EQ(track->position(), -1);
  ASSERT_TRUE(track->open("mirl.mp3", "mirl .mp3", logger, diskFiles()));
  track->start(logger);
  track->seek(2500, logger);
  EXPECT_NEAR(track->position(), 2500, 100);
  track->pause(true);
  const double paused = track->position();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_NEAR(track->position(), paused, 1);
  track->seek(1000, logger); // sought while paused: moves, stays paused
  EXPECT_NEAR(track->position(), 1000, 100);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_NEAR(track->position(), 1000, 100);
  track->pause(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_GT(track->position(), 1100);
  // Played to its end, the music starts again when sent back.
  track->seek(3900, logger);
  for (int i = 0; i < 100 && track->position() >= 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(track->position(), -1);
  track->seek(500, logger);
  EXPECT_NEAR(track->position(), 500, 100);
  track->stop();
  EXPECT_EQ(track->position(), -1);
}
