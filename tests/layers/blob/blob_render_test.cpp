// Blob layers drawn by the player.

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

TEST(BlobRender, BlobLayersShowTheirTexture) {
  auto solid = [](const fs::path &path, std::uint8_t r, std::uint8_t g,
                  std::uint8_t b) {
    std::string rgb;
    for (int i = 0; i < 16 * 16; ++i)
      rgb += {char(r), char(g), char(b)};
    ASSERT_TRUE(writePng(path.string(), 16, 16, rgb));
  };
  const char *blob = " type BLOB scale 1 1 1 blobsnum 1 <blobs> type SPHERE "
                     "</blobs> ";
  const korvane::test::TempFolder scratch;
  const fs::path textures = scratch.path;
  solid(textures / "magenta.png", 255, 0, 255);
  solid(textures / "green.png", 0, 255, 0);
  ShowRun run(
      std::string("<demo> resolution 160 120 <part> length 1000 "
                  "backgroundcolor 0 0 80 <layer> filename MAGENTA.PNG "
                  "position -0.5 0 2") +
          blob + "</layer> <layer> filename green.png position 0.5 0 2" + blob +
          "</layer> <layer> envmap CUBEMAP filename green.png position 0 0.5 "
          "2" +
          blob + "</layer> </part>",
      false, false, textures);
  ASSERT_TRUE(run.render(0));
  // x' = x cot(pi/8) / 1.333 / z with the blob's drift putting z at 2.2.
  const double cot = 1.0 / std::tan(0.7853982 / 2);
  auto screenX = [&](double x) {
    return int((x * cot / 1.333 / 2.2 + 1.0) * 0.5 * 160);
  };
  auto screenY = [&](double y) {
    return int((1.0 - y * cot / 2.2) * 0.5 * 120);
  };
  EXPECT_TRUE(near(run.at(screenX(-0.5), 60), {255, 0, 255}, 8))
      << describe(run.at(screenX(-0.5), 60));
  EXPECT_TRUE(near(run.at(screenX(0.5), 60), {0, 255, 0}, 8))
      << describe(run.at(screenX(0.5), 60));
  EXPECT_TRUE(near(run.at(80, 60), {0, 0, 80}));
  EXPECT_TRUE(near(run.at(5, 5), {0, 0, 80}));
  // The CUBEMAP layer above the middle draws nothing.
  EXPECT_TRUE(near(run.at(80, screenY(0.5)), {0, 0, 80}))
      << describe(run.at(80, screenY(0.5)));
}
