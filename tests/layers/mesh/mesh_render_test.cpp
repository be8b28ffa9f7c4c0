// Mesh layers drawn by the player: environment mapping and shadows.

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

TEST(MeshRender, MeshLayers) {
  const korvane::test::TempFolder scratch;
  const fs::path media = scratch.path;
  // A 2 x 2 quad facing the camera, red on its left half, green on the right.
  std::ofstream(media / "quad.x")
      << "xof 0303txt 0032\nMesh quad {\n 4;\n -1.0;1.0;0.0;,\n 1.0;1.0;0.0;,"
         "\n 1.0;-1.0;0.0;,\n -1.0;-1.0;0.0;;\n 2;\n 3;0,1,2;,\n 3;0,2,3;;\n"
         " MeshNormals {\n 1;\n 0.0;0.0;-1.0;;\n 2;\n 3;0,0,0;,\n 3;0,0,0;;\n"
         " }\n MeshTextureCoords {\n 4;\n 0.0;0.0;,\n 1.0;0.0;,\n 1.0;1.0;,\n"
         " 0.0;1.0;;\n }\n MeshMaterialList {\n 1;\n 2;\n 0,\n 0;;\n"
         " Material {\n 1.0;1.0;1.0;1.0;;\n 0.0;\n 0.0;0.0;0.0;;\n"
         " 0.0;0.0;0.0;;\n TextureFilename {\n \"Halves.PNG\";\n }\n }\n "
         "}\n}\n";
  std::string halves;
  for (int y = 0; y < 4; ++y)
    halves +=
        std::string("\xff\0\0\xff\0\0", 6) + std::string("\0\xff\0\0\xff\0", 6);
  ASSERT_TRUE(writePng((media / "halves.png").string(), 4, 4, halves));
  std::string blue;
  for (int i = 0; i < 16; ++i)
    blue += std::string("\0\0\xff", 3);
  ASSERT_TRUE(writePng((media / "shadow.png").string(), 4, 4, blue));
  const std::string quad = "quad.x"; // the media are copied into the show
  ShowRun run(
      "<demo> resolution 160 120 <part> length 10000 backgroundcolor 40 40 40\n"
      "<layer> type XFILE filename " +
          quad +
          " position -1.2 0.6 5 scale 0.4 0.4 0.4 cull ENABLE </layer>\n"
          // Turned away: culled with cull ENABLE, shown without.
          "<layer> type XFILE filename " +
          quad +
          " position 0 0.6 5 scale 0.4 0.4 0.4 rotationadd 0 180 0 cull ENABLE "
          "</layer>\n<layer> type XFILE filename " +
          quad +
          " position 1.2 0.6 5 scale 0.4 0.4 0.4 rotationadd 0 180 0 </layer>\n"
          // Tilted back and blended; its shadow on y = -1 is drawn unblended.
          "<layer> type XFILE filename " +
          quad +
          " position 0 -0.2 5 scale 0.5 0.5 0.5 rotationadd 60 0 0 blend ONE "
          "ONE "
          "<shadow> filename shadow.png plane_a 0 -1 0 plane_b 0 -1 1 plane_c "
          "1 -1 0 light 0 1 0 </shadow> "
          "</layer>\n"
          "<layer> type XFILE filename " +
          quad +
          " envmap CUBEMAP position 0 0 3 scale 2 2 2 </layer>\n"
          "</part>",
      false, false, media);
  ASSERT_TRUE(run.render(0));
  const double cot = 1.0 / std::tan(0.7853982 / 2);
  auto sx = [&](double x, double z) {
    return int((x * cot / 1.333 / z + 1) * 80);
  };
  auto sy = [&](double y, double z) { return int((1 - y * cot / z) * 60); };
  // Textured: red left, green right.
  EXPECT_TRUE(near(run.at(sx(-1.35, 5), sy(0.6, 5)), {255, 0, 0}, 3))
      << describe(run.at(sx(-1.35, 5), sy(0.6, 5)));
  EXPECT_TRUE(near(run.at(sx(-1.05, 5), sy(0.6, 5)), {0, 255, 0}, 3))
      << describe(run.at(sx(-1.05, 5), sy(0.6, 5)));
  // Back faces: removed with cull, shown (mirrored) without.
  EXPECT_TRUE(near(run.at(sx(0, 5), sy(0.6, 5)), {40, 40, 40}))
      << describe(run.at(sx(0, 5), sy(0.6, 5)));
  EXPECT_FALSE(near(run.at(sx(1.2, 5), sy(0.6, 5)), {40, 40, 40}));
  // The shadow: flat on y = -1 under the tilted quad, in the shadow
  // texture's blue, not added to what is behind it.
  EXPECT_TRUE(near(run.at(80, sy(-1, 5)), {0, 0, 255}, 3))
      << describe(run.at(80, sy(-1, 5)));

  // Sphere maps: SPHEREMAP maps the mesh's own texture by the reflection
  // and moves as the layer turns; SPHEREMAP2 multiplies a grey environment
  // over the mesh texture.
  std::string grey;
  for (int i = 0; i < 16; ++i)
    grey += std::string("\x80\x80\x80", 3);
  ASSERT_TRUE(writePng((media / "grey.png").string(), 4, 4, grey));
  ShowRun maps("<demo> resolution 160 120 <part> length 10000 "
               "<layer> type XFILE filename " +
                   quad +
                   " envmap SPHEREMAP position -0.6 0 5 scale 0.5 0.5 0.5 "
                   "rotation 0 1 0 </layer> <layer> type XFILE filename " +
                   quad + " envmap SPHEREMAP2 grey.png" +
                   " position 0.6 0 5 scale 0.5 0.5 0.5 </layer> </part>",
               false, false, media);
  ASSERT_TRUE(maps.render(0));
  const std::string still = maps.frame;
  EXPECT_TRUE(near(maps.at(sx(0.45, 5), 60), {128, 0, 0}, 3))
      << describe(maps.at(sx(0.45, 5), 60));
  EXPECT_TRUE(near(maps.at(sx(0.75, 5), 60), {0, 128, 0}, 3))
      << describe(maps.at(sx(0.75, 5), 60));
  const Rgb mapped = maps.at(sx(-0.6, 5), 60);
  EXPECT_TRUE(mapped.r + mapped.g > 200 && mapped.b < 30) << describe(mapped);
  ASSERT_TRUE(maps.render(700));
  int changed = 0;
  for (int x = sx(-0.85, 5); x < sx(-0.35, 5); ++x)
    for (int y = 50; y < 70; ++y)
      changed += !near(maps.at(x, y), {still[(y * 160 + x) * 3] & 0xFF,
                                       still[(y * 160 + x) * 3 + 1] & 0xFF,
                                       still[(y * 160 + x) * 3 + 2] & 0xFF});
  EXPECT_GT(changed, 10);
}
