#include "script_util.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::test::layerScript;
using korvane::test::parseBoth;

TEST(BlobsBlock, ExampleAndCounters) {
  auto parsed = parseBoth(layerScript(R"(type BLOB
blobsnum 2
<blobs>
position 0 0 0
size 1
mul 0.5 0.3 0.2
type SPHERE
position 0.2 0 0
mul 0.3 0.5 0.1
type TORUS
</blobs>)"));
  const Layer &layer = parsed.layer(0, 0);
  EXPECT_EQ(layer.type, LAYER_BLOB);
  EXPECT_EQ(layer.blobsnum, 2);
  EXPECT_EQ(layer.blobs[1].blobposition[0], 0.2f);
  EXPECT_EQ(layer.blobs[0].blobsize, 1.0f);
  EXPECT_EQ(layer.blobs[1].blobsize, 0.0f);
  EXPECT_EQ(layer.blobs[0].blobmul[1], 0.3f);
  EXPECT_EQ(layer.blobs[1].blobmul[2], 0.1f);
  EXPECT_EQ(layer.blobs[0].blobtype, BLOB_SPHERE);
  EXPECT_EQ(layer.blobs[1].blobtype, BLOB_TORUS);
  EXPECT_TRUE(parsed.logged("LOADBLOB"));

  // Each keyword counts on its own; an unknown shape still uses a slot.
  auto counted = parseBoth(layerScript(
      "<blobs> type HEART position 1 0 0 position 2 0 0 position 3 0 0 "
      "size 4 size 5 type CUBE </blobs>"));
  const Layer &other = counted.layer(0, 0);
  EXPECT_EQ(other.blobs[2].blobposition[0], 3.0f);
  EXPECT_EQ(other.blobs[1].blobsize, 5.0f);
  EXPECT_EQ(other.blobs[2].blobsize, 0.0f);
  EXPECT_EQ(other.blobs[0].blobtype, BLOB_SPHERE);
  EXPECT_EQ(other.blobs[1].blobtype, BLOB_CUBE);
  EXPECT_EQ(counted.first(Problem::UnknownValue).line, 5);
  EXPECT_EQ(counted.count(Problem::UnknownValue), 1);

  // A second block starts again from blob 0.
  auto again = parseBoth(layerScript("<blobs> size 1 size 2 </blobs> "
                                     "<blobs> size 9 </blobs>"));
  EXPECT_EQ(again.layer(0, 0).blobs[0].blobsize, 9.0f);
  EXPECT_EQ(again.layer(0, 0).blobs[1].blobsize, 2.0f);
}

TEST(ShadowBlock, SlotsFillInOrder) {
  auto parsed = parseBoth(layerScript(R"(type XFILE
<shadow>
filename shadow.png
plane_a 0 -1 0
plane_b 1 -1 0
plane_c 0 -1 1
light 0 1 0
</shadow>
<shadow> filename second.png </shadow>)"));
  const Layer &layer = parsed.layer(0, 0);
  EXPECT_EQ(layer.shadownumber, 2);
  EXPECT_EQ(layer.shadows[0].shadowenabled, 1);
  EXPECT_EQ(layer.shadows[1].shadowenabled, 1);
  EXPECT_STREQ(layer.shadows[0].shadowfilename, "shadow.png");
  EXPECT_STREQ(layer.shadows[1].shadowfilename, "second.png");
  EXPECT_EQ(layer.shadows[0].plane_a[1], -1.0f);
  EXPECT_EQ(layer.shadows[0].plane_b[0], 1.0f);
  EXPECT_EQ(layer.shadows[0].plane_c[2], 1.0f);
  EXPECT_EQ(layer.shadows[0].light[1], 1.0f);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(layer.shadows[1].plane_a[i], 0.0f);
    EXPECT_EQ(layer.shadows[1].light[i], 0.0f);
  }

  auto empty = parseBoth(layerScript("<shadow></shadow>"));
  EXPECT_EQ(empty.layer(0, 0).shadownumber, 0); // no separator: one token

  auto bare = parseBoth(layerScript("<shadow> </shadow>"));
  EXPECT_EQ(bare.layer(0, 0).shadownumber, 1);
  EXPECT_EQ(bare.layer(0, 0).shadows[0].shadowenabled, 1);
  EXPECT_TRUE(bare.logged("LOADSHADOW"));

  // An unclosed shadow block still counts.
  auto open = parseBoth("<demo> <part> <layer> <shadow> light 1 2 3");
  EXPECT_EQ(open.layer(0, 0).shadownumber, 1);
  EXPECT_EQ(open.layer(0, 0).shadows[0].light[2], 3.0f);
}
