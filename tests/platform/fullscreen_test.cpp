// Full screen on an X server without a window manager (1280x1024, run by
// with_xvfb.sh): the window covers the screen all the same, the picture
// follows the drawable's real size with black bars, and F goes back and
// forth.

#include "render_support.h"
#include <SDL.h>

#include <gtest/gtest.h>

using namespace korvane;
using namespace korvane::test;

namespace {

// A show of one red part played full screen through the player's session.
struct FullScreenShow {
  TempFolder temp{true};
  const Logger logger = standardLogger();
  Session player{logger};
  VirtualClock clock;
  std::string frame;
  int width = 0, height = 0; // of the frame read back

  FullScreenShow() {
    fs::create_directory(temp.path / "Data");
    std::ofstream(temp.path / "Data" / "mirl .script")
        << "<demo> resolution 640 480 fullscreen ENABLE\n"
           "<part> length 100000 backgroundcolor 200 0 0 </part>\n";
    SessionOptions options;
    options.sound = false;
    options.timerclock = &clock;
    options.capture = [this] {
      player.window->drawableSize(width, height);
      frame = readBackBuffer(width, height);
    };
    std::string error;
    EXPECT_TRUE(player.start(options, error)) << error;
  }
  ~FullScreenShow() {
    if (player.window)
      player.stop(1, 1);
  }
  // Two frames, the window's events handled between them as the player
  // does: a size granted late reaches the picture.
  void play() {
    for (int i = 0; i < 2; ++i) {
      WindowEvent event;
      while (player.window->poll(event))
        if (event.kind == WindowEvent::Resized)
          player.followDrawable();
      SDL_Delay(50);
      player.frame({.showTime = 10});
    }
  }
  Rgb at(int x, int y) const {
    const std::size_t i = (std::size_t(y) * width + x) * 3;
    return {static_cast<unsigned char>(frame[i]),
            static_cast<unsigned char>(frame[i + 1]),
            static_cast<unsigned char>(frame[i + 2])};
  }
};

} // namespace

TEST(FullScreen, CoversTheScreenWithoutAWindowManager) {
  FullScreenShow run;
  ASSERT_TRUE(run.player.window);
  run.play();
  EXPECT_TRUE(run.player.window->fullscreen());
  int x = -1, y = -1;
  SDL_Window *window = SDL_GL_GetCurrentWindow();
  SDL_GetWindowPosition(window, &x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  ASSERT_EQ(run.width, 1280);
  ASSERT_EQ(run.height, 1024);
  // The picture 1280 x 960 from y = 32, bars above and below.
  const Rgb red{200, 0, 0}, black{0, 0, 0};
  EXPECT_TRUE(near(run.at(640, 10), black)) << describe(run.at(640, 10));
  EXPECT_TRUE(near(run.at(640, 1015), black)) << describe(run.at(640, 1015));
  EXPECT_TRUE(near(run.at(2, 40), red)) << describe(run.at(2, 40));
  EXPECT_TRUE(near(run.at(640, 512), red)) << describe(run.at(640, 512));
  EXPECT_TRUE(near(run.at(1277, 985), red)) << describe(run.at(1277, 985));
}

TEST(FullScreen, FSwitchesToTheWindowAndBack) {
  FullScreenShow run;
  ASSERT_TRUE(run.player.window);
  run.play();
  run.player.toggleFullscreen();
  run.play();
  EXPECT_FALSE(run.player.window->fullscreen());
  ASSERT_EQ(run.width, 640);
  ASSERT_EQ(run.height, 480);
  EXPECT_TRUE(near(run.at(1, 1), {200, 0, 0})) << describe(run.at(1, 1));
  EXPECT_TRUE(near(run.at(638, 478), {200, 0, 0}));
  run.player.toggleFullscreen();
  run.play();
  EXPECT_EQ(run.width, 1280);
  EXPECT_EQ(run.height, 1024);
  EXPECT_TRUE(near(run.at(640, 10), {0, 0, 0})) << describe(run.at(640, 10));
  EXPECT_TRUE(near(run.at(1277, 985), {200, 0, 0}));
}
