// The player session: parts and their backgrounds, the overlay, the log
// of a run, and sound only where the script asks for it.

#include "gfxutil/png_file.h"

#include "render_support.h"
#include <SDL.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace korvane;
using namespace korvane::test;

TEST(Session, PartsBackgroundsEndAndSkips) {
  ShowRun run("<demo> resolution 160 120\n"
              "<part> length 1000 backgroundcolor 255 0 0 </part>\n"
              "<part> length 0 backgroundcolor 0 255 0 </part>\n"
              "<part> length 2000 backgroundcolor 0 0 255 </part>\n"
              "<part> length 500 backgroundcolor 20 40 60 </part>\n");
  ASSERT_TRUE(run.player.window);
  EXPECT_TRUE(run.player.scriptread);
  const std::pair<std::uint32_t, Rgb> expected[] = {
      {0, {255, 0, 0}},    {999, {255, 0, 0}},   {1000, {0, 0, 255}},
      {2999, {0, 0, 255}}, {3000, {20, 40, 60}}, {3499, {20, 40, 60}}};
  for (const auto &[ms, color] : expected) {
    ASSERT_TRUE(run.render(ms)) << ms;
    EXPECT_TRUE(near(run.at(80, 60), color)) << ms << describe(run.at(80, 60));
    EXPECT_TRUE(near(run.at(159, 119), color)) << ms;
  }
  // The end of the last part is the end of the show: nothing presented.
  EXPECT_FALSE(run.render(3500));
  EXPECT_TRUE(run.frame.empty());

  // One skip at 200 ms moves to the third part's start; a second skip
  // right after moves on to the last part.
  skipToNextPart(run.player.show(), run.playhead, 200);
  EXPECT_EQ(run.playhead.skipoffset, 800);
  ASSERT_TRUE(run.render(200));
  EXPECT_TRUE(near(run.at(80, 60), {0, 0, 255}));
  skipToNextPart(run.player.show(), run.playhead, 201);
  EXPECT_EQ(run.playhead.skipoffset, 3000 - 201);
  ASSERT_TRUE(run.render(201));
  EXPECT_TRUE(near(run.at(80, 60), {20, 40, 60}));
  // A skip from the last part ends the show.
  skipToNextPart(run.player.show(), run.playhead, 300);
  EXPECT_FALSE(run.render(300));
}

TEST(Session, OverlayTextTopLeft) {
  {
    ShowRun run("<demo> resolution 200 100 showfps ENABLE showtime ENABLE\n"
                "<part> length 600 </part> <part> length 1000 </part>");
    ASSERT_TRUE(run.render(900));
    // Both lines in yellow at the top left, nothing further right or down.
    EXPECT_GT(run.yellow(0, 0, 60, 16), 10);
    EXPECT_GT(run.yellow(0, 16, 100, 34), 20);
    EXPECT_EQ(run.yellow(120, 0, 200, 100), 0);
    EXPECT_EQ(run.yellow(0, 40, 200, 100), 0);
    // "900 / 300" is wider than "0.00".
    int right = 0;
    for (int x = 0; x < 200; ++x)
      if (run.yellow(x, 16, x + 1, 34))
        right = x;
    EXPECT_GT(right, 50);
  }
  {
    ShowRun run("<demo> resolution 200 100 showtime ENABLE\n"
                "<part> length 1000 </part>");
    ASSERT_TRUE(run.render(10));
    EXPECT_EQ(run.yellow(0, 0, 200, 15), 0); // the top line stays empty
    EXPECT_GT(run.yellow(0, 16, 100, 34), 10);
  }
  {
    ShowRun run("<demo> resolution 200 100\n<part> length 1000 </part>");
    ASSERT_TRUE(run.render(10));
    EXPECT_EQ(run.yellow(0, 0, 200, 100), 0);
  }
}

TEST(Session, StartUpLogAndFrameRateLine) {
  fs::path log;
  {
    ShowRun run("<demo> resolution 64 48 <part> length 100 </part>");
    log = run.folder / "Data" / "debug.log";
    ASSERT_TRUE(run.render(0));
    run.player.stop(25, 500);
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), " DEBUG.LOG \n --------- \nPartNumber: 0\n"
                          " SOFTWARE VERTEXPROCESSING\nD3D Init OK\n" +
                              std::string(33, '-') +
                              "\nLength: 0 - 100\nPartNumber: 1\n"
                              "\n\n\nFPS: 50.000000\n");
  }
}

TEST(Session, MusicDisabledOpensNoAudio) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  {
    ShowRun run("<demo> resolution 64 48 music DISABLE <part> length 100 "
                "</part>",
                true);
    EXPECT_FALSE(run.player.sound);
    EXPECT_FALSE(SDL_WasInit(SDL_INIT_AUDIO));
  }
  // The same start-up with music enabled opens the audio device, even
  // though there is no music file to play.
  ShowRun enabled("<demo> resolution 64 48 music ENABLE <part> length 100 "
                  "</part>",
                  true);
  EXPECT_TRUE(enabled.player.sound);
  EXPECT_TRUE(SDL_WasInit(SDL_INIT_AUDIO));
}

// T's choice draws both overlay lines, or neither, whatever the script says.
TEST(Session, OverlayTextsForcedOn) {
  ShowRun hidden("<demo> resolution 200 100\n<part> length 1000 </part>");
  hidden.request.overlaytexts = 1;
  ASSERT_TRUE(hidden.render(900));
  EXPECT_GT(hidden.yellow(0, 0, 60, 16), 10);
  EXPECT_GT(hidden.yellow(0, 16, 100, 34), 20);
}

TEST(Session, OverlayTextsForcedOff) {
  ShowRun shown("<demo> resolution 200 100 showfps ENABLE showtime ENABLE\n"
                "<part> length 1000 </part>");
  shown.request.overlaytexts = 0;
  ASSERT_TRUE(shown.render(900));
  EXPECT_EQ(shown.yellow(0, 0, 200, 100), 0);
}
