// Picture and video layers drawn by the player.

#include "gfxutil/png_file.h"
#include "render_support.h"

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

TEST(PictureRender, PictureLayers) {
  const korvane::test::TempFolder scratch;
  const fs::path media = scratch.path;
  std::string white;
  for (int i = 0; i < 64; ++i)
    white += "\xff\xff\xff";
  ASSERT_TRUE(writePng((media / "white.png").string(), 8, 8, white));
  const std::string avi = (media / "count.avi").string();
  ASSERT_EQ(std::system(("ffmpeg -loglevel error -y -f lavfi -i "
                         "\"color=c=black:s=256x256:r=25:d=2,geq=r='N*5':g='"
                         "0':b='0'\" -c:v rawvideo -pix_fmt bgr24 '" +
                         avi + "' </dev/null >/dev/null 2>&1")
                            .c_str()),
            0);
  ASSERT_EQ(std::system(("ffmpeg -loglevel error -y -f lavfi -i "
                         "color=c=red:s=320x240:r=25:d=1 -c:v mjpeg '" +
                         (media / "wide.avi").string() +
                         "' </dev/null >/dev/null 2>&1")
                            .c_str()),
            0);
  ShowRun run(
      "<demo> resolution 160 120 <part> length 10000 backgroundcolor 0 0 200\n"
      // A white square, 1 x 1 at depth 4 in the middle.
      "<layer> type PICTURE filename WHITE.PNG size 1 1 position 0 0 4 scale 1 "
      "1 1 ztest DISABLE </layer>\n"
      // Fading from black to red over the left.
      "<layer> type PICTURE filename white.png size 0.5 0.5 position -1.2 0 4 "
      "scale 1 1 1 ztest DISABLE "
      "<timeline> 0 color 0 0 0 255 1000 color 255 0 0 255 2000 color 255 0 "
      "0 255 </timeline> </layer>\n"
      // Half-transparent white blended over the right.
      "<layer> type PICTURE filename white.png size 0.5 0.5 position 1.2 0 4 "
      "scale 1 1 1 ztest DISABLE "
      "color 255 255 255 128 blend SRCALPHA INVSRCALPHA </layer>\n"
      // Videos at the top: normal speed, twice the speed.
      "<layer> type AVIPICTURE filename count.avi size 0.5 0.5 position -0.6 1 "
      "4 scale 1 1 1 ztest DISABLE "
      "</layer>\n"
      "<layer> type AVIPICTURE filename count.avi avispeed 2 size 0.5 0.5 "
      "position 0.6 1 4 scale 1 1 1 "
      "ztest DISABLE </layer>\n"
      "<layer> type AVIPICTURE filename wide.avi size 0.5 0.5 position 0 -1 4 "
      "scale 1 1 1 </layer>\n"
      "</part>",
      false, false, media);
  EXPECT_EQ(run.problems.boxes(),
            std::vector<std::string>{"Texture: 256x256, Avi: 320x240"});

  const double cot = 1.0 / std::tan(0.7853982 / 2);
  auto sx = [&](double x) { return int((x * cot / 1.333 / 4 + 1) * 80); };
  auto sy = [&](double y) { return int((1 - y * cot / 4) * 60); };
  ASSERT_TRUE(run.render(500));
  // The square covers +-0.5 around the middle, and no more.
  EXPECT_TRUE(near(run.at(sx(0), sy(0)), {255, 255, 255}));
  EXPECT_TRUE(near(run.at(sx(-0.45), sy(0.45)), {255, 255, 255}));
  EXPECT_TRUE(near(run.at(sx(0.45), sy(-0.45)), {255, 255, 255}));
  EXPECT_TRUE(near(run.at(sx(0.58), sy(0)), {0, 0, 200}));
  EXPECT_TRUE(near(run.at(sx(0), sy(0.58)), {0, 0, 200}));
  // 0xFF7F0000 half way through the fade.
  EXPECT_TRUE(near(run.at(sx(-1.2), sy(0)), {127, 0, 0}, 1))
      << describe(run.at(sx(-1.2), sy(0)));
  EXPECT_TRUE(near(run.at(sx(1.2), sy(0)), {128, 128, 228}, 2))
      << describe(run.at(sx(1.2), sy(0)));
  // The frames the formula gives: 500 ms is frame 12, twice as fast 25.
  EXPECT_TRUE(near(run.at(sx(-0.6), sy(1)), {60, 0, 0}, 1))
      << describe(run.at(sx(-0.6), sy(1)));
  EXPECT_TRUE(near(run.at(sx(0.6), sy(1)), {125, 0, 0}, 1))
      << describe(run.at(sx(0.6), sy(1)));
  // At 2100 ms the videos wrap: frames 2 and 5 (4200 ms is frame 105 % 50).
  ASSERT_TRUE(run.render(2100));
  EXPECT_TRUE(near(run.at(sx(-0.6), sy(1)), {10, 0, 0}, 1))
      << describe(run.at(sx(-0.6), sy(1)));
  EXPECT_TRUE(near(run.at(sx(0.6), sy(1)), {25, 0, 0}, 1))
      << describe(run.at(sx(0.6), sy(1)));
  EXPECT_TRUE(near(run.at(sx(-1.2), sy(0)), {255, 0, 0}, 1));
}
