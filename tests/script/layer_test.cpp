#include "script_util.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace korvane;
using korvane::test::layerScript;
using korvane::test::parseBoth;

TEST(LayerBlock, PresetsAndDefaults) {
  auto parsed = parseBoth(layerScript("type PICTURE filename logo.png"));
  const Layer &layer = parsed.layer(0, 0);
  EXPECT_EQ(layer.type, LAYER_PICTURE);
  EXPECT_STREQ(layer.filename, "logo.png");
  EXPECT_EQ(layer.color, 0xFFFFFFFFu);
  EXPECT_EQ(layer.avispeed, 1.0f);
  EXPECT_EQ(layer.envmap, 0);
  EXPECT_EQ(layer.srcblend, 0);
  EXPECT_EQ(layer.dstblend, 0);
  EXPECT_EQ(layer.ztest, 0);
  EXPECT_EQ(layer.zwrite, 0);
  EXPECT_EQ(layer.hastimeline, 0);
  EXPECT_EQ(layer.positionkeys.values, nullptr);
  EXPECT_EQ(layer.shadownumber, 0);
  for (float v : layer.scale)
    EXPECT_EQ(v, 0.0f);
}

TEST(LayerBlock, EverySetting) {
  auto parsed = parseBoth(layerScript(R"(
type XFILE
avispeed 2.5
envmap SPHEREMAP
cull ENABLE
ztest DISABLE
zwrite ENABLE
blend SRCALPHA INVSRCALPHA
filename mesh.x
position 1 -2 3.5
rotation 0 2 0
rotationadd 90 0 -180
scale 1 2 3
size 4 5
alpha 300
blobsnum 3
color 255 0 0 255
)"));
  const Layer &layer = parsed.layer(0, 0);
  EXPECT_EQ(layer.type, LAYER_XFILE);
  EXPECT_EQ(layer.avispeed, 2.5f);
  EXPECT_EQ(layer.envmap, ENVMAP_SPHEREMAP);
  EXPECT_EQ(layer.cull, 1);
  EXPECT_EQ(layer.ztest, DEPTH_DISABLE);
  EXPECT_EQ(layer.zwrite, DEPTH_ENABLE);
  EXPECT_EQ(layer.srcblend, 5);
  EXPECT_EQ(layer.dstblend, 6);
  EXPECT_STREQ(layer.filename, "mesh.x");
  EXPECT_EQ(layer.position[1], -2.0f);
  EXPECT_EQ(layer.position[2], 3.5f);
  EXPECT_EQ(layer.rotation[1], 2.0f);
  EXPECT_EQ(layer.rotationadd[0], 90.0f * 0.017453292f);
  EXPECT_NEAR(layer.rotationadd[0], 1.5707964f, 1e-7f);
  EXPECT_EQ(layer.rotationadd[2], -180.0f * 0.017453292f);
  EXPECT_EQ(layer.scale[2], 3.0f);
  EXPECT_EQ(layer.size[0], 4.0f);
  EXPECT_EQ(layer.size[1], 5.0f);
  EXPECT_EQ(layer.alpha, 44);
  EXPECT_EQ(layer.blobsnum, 3);
  EXPECT_EQ(layer.color, 0xFFFF0000u);
  EXPECT_TRUE(parsed.logged("SrcBlend: 5"));
  EXPECT_TRUE(parsed.logged("DstBlend: 6"));
  EXPECT_TRUE(parsed.reports.empty());
}

TEST(LayerBlock, WordsAndTheirValues) {
  // Every blend name in table order.
  const char *names[] = {"ZERO",           "ONE",          "SRCCOLOR",
                         "INVSRCCOLOR",    "SRCALPHA",     "INVSRCALPHA",
                         "DESTALPHA",      "INVDESTALPHA", "DESTCOLOR",
                         "INVDESTCOLOR",   "SRCALPHASAT",  "BOTHSRCALPHA",
                         "BOTHINVSRCALPHA"};
  for (int i = 0; i < 13; ++i)
    EXPECT_EQ(blendValue(names[i]), i + 1) << names[i];
  EXPECT_EQ(blendValue("srcalpha"), -1);
  EXPECT_EQ(blendValue("ONE "), -1);

  auto lower = parseBoth(layerScript("blend one ONE"));
  EXPECT_EQ(lower.layer(0, 0).srcblend, -1);
  EXPECT_EQ(lower.layer(0, 0).dstblend, 2);
  EXPECT_TRUE(lower.logged("SrcBlend: -1"));

  const std::pair<const char *, int> kinds[] = {
      {"XFILE", 1},      {"KTRFILE", 2}, {"PICTURE", 3},
      {"AVIPICTURE", 4}, {"BLOB", 5},    {"xfile", 0}};
  for (const auto &[word, kind] : kinds)
    EXPECT_EQ(
        parseBoth(layerScript(std::string("type ") + word)).layer(0, 0).type,
        kind)
        << word;
  // The last type wins; an unknown word keeps what was there.
  EXPECT_EQ(parseBoth(layerScript("type BLOB type PICTURE type MESH"))
                .layer(0, 0)
                .type,
            LAYER_PICTURE);

  EXPECT_EQ(parseBoth(layerScript("color 0 0 0 0")).layer(0, 0).color, 0u);
  // Components carry into their neighbours without masking.
  EXPECT_EQ(parseBoth(layerScript("color 256 0 0 0")).layer(0, 0).color,
            0x01000000u);
  EXPECT_EQ(parseBoth(layerScript("color 0 0 0 -1")).layer(0, 0).color,
            0xFF000000u);

  auto depth = parseBoth(layerScript("ztest ENABLE ztest on zwrite DISABLE "
                                     "cull ENABLE cull DISABLE"));
  EXPECT_EQ(depth.layer(0, 0).ztest, DEPTH_ENABLE);
  EXPECT_EQ(depth.layer(0, 0).zwrite, DEPTH_DISABLE);
  EXPECT_EQ(depth.layer(0, 0).cull, 0);
}

TEST(LayerBlock, SphereMapTwoKeepsItsName) {
  auto parsed =
      parseBoth(layerScript("envmap SPHEREMAP2 chrome.jpg envmap NONE"));
  const Layer &layer = parsed.layer(0, 0);
  EXPECT_EQ(layer.envmap, ENVMAP_NONE);
  EXPECT_STREQ(layer.envmapfilename, "chrome.jpg");
  EXPECT_TRUE(parsed.logged("SPHEREMAP2 chrome.jpg"));
  EXPECT_EQ(parseBoth(layerScript("envmap CUBEMAP")).layer(0, 0).envmap,
            ENVMAP_CUBEMAP);
  EXPECT_EQ(
      parseBoth(layerScript("envmap SPHEREMAP envmap cube")).layer(0, 0).envmap,
      ENVMAP_SPHEREMAP);
}

TEST(LayerBlock, LoaderRunsOnceWithTheWholeRecord) {
  std::vector<int> seen;
  LayerKinds loaders;
  for (int kind = 1; kind < layerTypeCount; ++kind)
    loaders.byType[kind].load = [&seen, kind](const Layer &layer,
                                              const Logger &) {
      // Settings written after the nested blocks are in place already.
      EXPECT_EQ(layer.type, kind);
      EXPECT_EQ(layer.shadownumber, kind == LAYER_XFILE ? 1 : 0);
      EXPECT_EQ(layer.scale[0], 2.0f);
      seen.push_back(kind);
      return nullptr;
    };
  auto parsed = parseBoth("<demo> <part> length 10\n"
                          "<layer> <shadow> </shadow> type XFILE scale 2 2 2 "
                          "</layer>\n"
                          "<layer> type PICTURE type BLOB scale 2 2 2 "
                          "</layer>\n"
                          "<layer> filename none.png </layer>\n"
                          "<layer> type KTRFILE scale 2 2 2 </layer>\n"
                          "</part>",
                          &loaders);
  EXPECT_EQ(seen, (std::vector<int>{LAYER_XFILE, LAYER_BLOB, LAYER_KTRFILE}));
  EXPECT_EQ(parsed.part(0).layernumber, 4);

  // Loading off: the same script runs no loader.
  seen.clear();
  parseBoth("<demo> <part> <layer> type XFILE </layer> </part>");
  EXPECT_TRUE(seen.empty());
}

TEST(LayerBlock, MissingLayerEndRunsTheLoaderAtTheEnd) {
  int loads = 0;
  LayerKinds loaders;
  loaders.byType[LAYER_BLOB].load = [&loads](const Layer &, const Logger &) {
    ++loads;
    return nullptr;
  };
  auto parsed = parseBoth("<demo> <part> length 10 <layer> type PICTURE "
                          "</part> <part> <layer> type BLOB",
                          &loaders);
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(parsed.show->partnumber, 1);
  EXPECT_EQ(parsed.part(0).layernumber, 1);
  EXPECT_EQ(parsed.layer(0, 0).type, LAYER_BLOB);
  EXPECT_TRUE(parsed.reported(Problem::BlockNotClosed));
}
