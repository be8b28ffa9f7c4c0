#include "script_util.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::test::layerScript;
using korvane::test::parseBoth;

TEST(Capacity, PartsAndLayersBeyondTheTables) {
  std::string text = "<demo>\n";
  for (int p = 0; p < 18; ++p) {
    text += "<part> length 100 backgroundcolor " + std::to_string(p) + " 0 0\n";
    for (int l = 0; l < 10; ++l)
      text += "<layer> type PICTURE alpha " + std::to_string(l) + " </layer>\n";
    text += "</part>\n";
  }
  text += "showfps ENABLE\n";
  int loads = 0;
  LayerKinds loaders;
  loaders.byType[LAYER_PICTURE].load = [&loads](const Layer &, const Logger &) {
    ++loads;
    return nullptr;
  };
  auto parsed = parseBoth(text, &loaders);

  EXPECT_EQ(parsed.show->partnumber, maxParts);
  EXPECT_EQ(loads, maxParts * maxLayers); // dropped layers load nothing
  for (int p = 0; p < maxParts; ++p) {
    EXPECT_EQ(parsed.part(p).layernumber, maxLayers);
    EXPECT_EQ(parsed.part(p).backgroundcolor[0], p);
    EXPECT_EQ(parsed.part(p).endtime, 100 * (p + 1));
    EXPECT_EQ(parsed.layer(p, maxLayers - 1).alpha, maxLayers - 1);
  }
  // Parsing went on past the dropped blocks.
  EXPECT_EQ(parsed.show->showfps, 1);
  EXPECT_EQ(parsed.count(Problem::PartDropped), 2);
  EXPECT_EQ(parsed.count(Problem::LayerDropped), 2 * maxParts + 2 * 2);
  // debug.log keeps to its own lines.
  for (const std::string &line : parsed.log)
    EXPECT_EQ(line.find("dropped"), std::string::npos) << line;
}

TEST(Capacity, ShadowsAndBlobs) {
  std::string body = "<shadow> light 1 1 1 </shadow> <shadow> light 2 2 2 "
                     "</shadow> <shadow> light 3 3 3 filename third.png "
                     "</shadow> <blobs>";
  for (int i = 0; i < 20; ++i)
    body += " position " + std::to_string(i) + " 0 0 size " +
            std::to_string(i) + " type CUBE";
  body += " mul 1 2 3 </blobs> cull ENABLE";
  auto parsed = parseBoth(layerScript(body));
  const Layer &layer = parsed.layer(0, 0);
  EXPECT_EQ(layer.shadownumber, 2);
  EXPECT_EQ(layer.shadows[1].light[0], 2.0f);
  EXPECT_STREQ(layer.shadows[1].shadowfilename, "");
  EXPECT_TRUE(parsed.reported(Problem::ShadowDropped));
  EXPECT_EQ(layer.blobs[15].blobposition[0], 15.0f);
  EXPECT_EQ(layer.blobs[15].blobsize, 15.0f);
  EXPECT_EQ(layer.blobs[15].blobtype, BLOB_CUBE);
  EXPECT_EQ(layer.blobs[0].blobmul[2], 3.0f);
  // Positions, sizes and types past the 16th: one report for each list.
  EXPECT_EQ(parsed.count(Problem::BlobEntriesDropped), 3);
  EXPECT_EQ(layer.cull, 1);
}

TEST(Capacity, KeysIncludingLoopCopies) {
  std::string body = "<timeline>";
  for (int i = 0; i < 1030; ++i)
    body += " " + std::to_string(i) + " position 1 0 0";
  body += " <loop> 10 1000000000 0 color 1 1 1 1 </loop>";
  body += " 0 scale 1 1 1 </timeline>";
  auto parsed = parseBoth(layerScript(body));
  const Layer &layer = parsed.layer(0, 0);
  EXPECT_EQ(layer.positionkeys.count, maxKeys);
  EXPECT_EQ(layer.positionkeys.times[maxKeys - 1], maxKeys - 1);
  EXPECT_EQ(layer.colorkeys.count, maxKeys);
  EXPECT_EQ(layer.colorkeys.times[maxKeys - 1], 10 * (maxKeys - 1));
  EXPECT_EQ(layer.scalekeys.count, 1);
  // The position and colour channels overflowed, each reported once.
  EXPECT_EQ(parsed.count(Problem::KeysDropped), 2);
  EXPECT_EQ(parsed.reports.size(), 2u);
}

TEST(Capacity, LongFileNamesAreCut) {
  const std::string name(200, 'n');
  auto parsed = parseBoth(
      "<demo> musicfilename " + name + " <part> <layer> filename " + name +
      " envmap SPHEREMAP2 " + name + " <shadow> filename " + name +
      " </shadow>"
      " </layer> </part>");
  const std::string kept(127, 'n');
  EXPECT_EQ(parsed.show->musicfilename, kept);
  EXPECT_EQ(parsed.layer(0, 0).filename, kept);
  EXPECT_EQ(parsed.layer(0, 0).envmapfilename, kept);
  EXPECT_EQ(parsed.layer(0, 0).shadows[0].shadowfilename, kept);
  EXPECT_EQ(parsed.count(Problem::NameCut), 4);
  EXPECT_TRUE(parsed.logged("SPHEREMAP2 " + kept));
}
