#include "script_util.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::test::layerScript;
using korvane::test::parseBoth;

namespace {

std::vector<std::int32_t> times(const std::int32_t *array, int count) {
  return {array, array + count};
}

} // namespace

TEST(Timeline, ExampleBlock) {
  auto parsed = parseBoth(layerScript(R"(<timeline>
0 position 0 0 0
2000 position 0 1 0
0 color 255 255 255 255
<loop> 1000 2
0 rotation 0 0 1
500 rotation 0 0 2
</loop>
</timeline>)"));
  const Layer &layer = parsed.layer(0, 0);
  EXPECT_EQ(layer.hastimeline, 1);
  EXPECT_EQ(layer.haspositionkeys, 1);
  EXPECT_EQ(layer.hasrotationkeys, 1);
  EXPECT_EQ(layer.hascolorkeys, 1);
  EXPECT_EQ(layer.hasscalekeys, 0);
  EXPECT_EQ(layer.positionkeys.count, 2);
  EXPECT_EQ(layer.positionkeys.values[1][1], 1.0f);
  EXPECT_EQ(layer.colorkeys.count, 1);
  EXPECT_EQ(layer.colorkeys.values[0], 0xFFFFFFFFu);
  ASSERT_EQ(layer.rotationkeys.count, 6);
  EXPECT_EQ(times(layer.rotationkeys.times.get(), 6),
            (std::vector<std::int32_t>{0, 500, 1000, 1500, 2000, 2500}));
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(layer.rotationkeys.values[i][2], i % 2 ? 2.0f : 1.0f) << i;
  EXPECT_TRUE(parsed.logged("LOADTIMELINE"));
  EXPECT_TRUE(parsed.logged("LoopStart 1000 - 2"));
  EXPECT_TRUE(parsed.logged("2 - 0 - 0 - 1"));
  EXPECT_TRUE(parsed.logged("LoopEnd"));
  EXPECT_TRUE(parsed.logged("2 - 2 - 0 - 1"));
  EXPECT_TRUE(parsed.reports.empty());
}

TEST(Timeline, LoopLogAndExpansion) {
  auto parsed = parseBoth(layerScript("<timeline> <loop> 1000 2 "
                                      "0 position 0 0 0 500 position 1 0 0 "
                                      "</loop> </timeline>"));
  const Layer &layer = parsed.layer(0, 0);
  ASSERT_EQ(layer.positionkeys.count, 6);
  EXPECT_EQ(times(layer.positionkeys.times.get(), 6),
            (std::vector<std::int32_t>{0, 500, 1000, 1500, 2000, 2500}));
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(layer.positionkeys.values[i][0], i % 2 ? 1.0f : 0.0f);
  const std::vector<std::string> expected = {
      "LOADTIMELINE", "LoopStart 1000 - 2", "0 - 0 - 0 - 0", "LoopEnd",
      "2 - 0 - 0 - 0"};
  auto first = std::find(parsed.log.begin(), parsed.log.end(), "LOADTIMELINE");
  ASSERT_NE(first, parsed.log.end());
  EXPECT_EQ(std::vector<std::string>(first, first + 5), expected);
  // Only the looped channel was copied.
  EXPECT_EQ(layer.rotationkeys.count, 0);
  EXPECT_EQ(layer.hasrotationkeys, 0);
}

TEST(Timeline, LoopCountsAndRepeatedEnds) {
  for (const char *count : {"0", "-3"}) {
    auto parsed =
        parseBoth(layerScript(std::string("<timeline> <loop> 100 ") + count +
                              " 0 scale 1 1 1 </loop> </timeline>"));
    EXPECT_EQ(parsed.layer(0, 0).scalekeys.count, 1) << count;
  }

  // A second </loop> expands again, copies included.
  auto twice = parseBoth(layerScript("<timeline> <loop> 100 1 0 scale 1 1 1 "
                                     "</loop> </loop> </timeline>"));
  EXPECT_EQ(times(twice.layer(0, 0).scalekeys.times.get(),
                  twice.layer(0, 0).scalekeys.count),
            (std::vector<std::int32_t>{0, 100, 100, 200}));

  // A </loop> with no <loop> before it expands nothing.
  auto stray = parseBoth(layerScript("<timeline> 0 scale 1 1 1 500 scale 2 2 "
                                     "2 </loop> </timeline>"));
  EXPECT_EQ(stray.layer(0, 0).scalekeys.count, 2);
  EXPECT_TRUE(stray.logged("LoopEnd"));
  EXPECT_TRUE(stray.reported(Problem::LoopEndWithoutLoop));

  // A loop never closed is never expanded.
  auto open = parseBoth(layerScript("<timeline> <loop> 100 3 0 scale 1 1 1 "
                                    "</timeline>"));
  EXPECT_EQ(open.layer(0, 0).scalekeys.count, 1);
  EXPECT_TRUE(open.reported(Problem::LoopNotClosed));

  // Keys before the loop stay out of it; channels interleave freely.
  auto mixed = parseBoth(
      layerScript("<timeline> 0 position 0 0 0 0 color 1 2 3 4 <loop> 1000 1 "
                  "100 color 5 6 7 8 200 position 1 1 1 </loop> </timeline>"));
  const Layer &layer = mixed.layer(0, 0);
  EXPECT_EQ(times(layer.positionkeys.times.get(), layer.positionkeys.count),
            (std::vector<std::int32_t>{0, 200, 1200}));
  EXPECT_EQ(times(layer.colorkeys.times.get(), layer.colorkeys.count),
            (std::vector<std::int32_t>{0, 100, 1100}));
  EXPECT_EQ(layer.colorkeys.values[0], 0x04010203u);
  EXPECT_EQ(layer.colorkeys.values[2], 0x08050607u);
}

TEST(Timeline, KeysAndChannelWords) {
  auto parsed = parseBoth(layerScript("<timeline> 1000 color 255 255 255 128 "
                                      "50 colour 1 2 3 4 "
                                      "2000 position 1 2 3 </timeline>"));
  const Layer &layer = parsed.layer(0, 0);
  ASSERT_EQ(layer.colorkeys.count, 1);
  EXPECT_EQ(layer.colorkeys.times[0], 1000);
  EXPECT_EQ(layer.colorkeys.values[0], 0x80FFFFFFu);
  // An unknown channel consumes its time and word; its values are then read
  // as key times of their own.
  EXPECT_TRUE(parsed.reported(Problem::UnknownChannel));
  ASSERT_EQ(layer.positionkeys.count, 1);
  EXPECT_EQ(layer.positionkeys.times[0], 2000);
  EXPECT_EQ(layer.positionkeys.values[0][2], 3.0f);

  auto empty = parseBoth(layerScript("<timeline> </timeline>"));
  EXPECT_EQ(empty.layer(0, 0).hastimeline, 1);
  EXPECT_EQ(empty.layer(0, 0).haspositionkeys + empty.layer(0, 0).hasscalekeys +
                empty.layer(0, 0).hasrotationkeys +
                empty.layer(0, 0).hascolorkeys,
            0);
}

TEST(Timeline, SecondBlockReplacesKeysButKeepsFlags) {
  auto parsed = parseBoth(layerScript("<timeline> 0 position 1 1 1 "
                                      "100 position 2 2 2 </timeline> "
                                      "<timeline> 0 scale 3 3 3 </timeline>"));
  const Layer &layer = parsed.layer(0, 0);
  EXPECT_EQ(layer.haspositionkeys, 1);    // set by the first block
  EXPECT_EQ(layer.positionkeys.count, 0); // but its keys are gone
  EXPECT_EQ(layer.hasscalekeys, 1);
  EXPECT_EQ(layer.scalekeys.count, 1);
  EXPECT_EQ(layer.scalekeys.values[0][0], 3.0f);
}

TEST(Timeline, EndsWithTheText) {
  auto parsed = parseBoth("<demo> <part> length 5 <layer> type PICTURE "
                          "<timeline> 0 position 1 2 3");
  ASSERT_EQ(parsed.show->partnumber, 1);
  const Layer &layer = parsed.layer(0, 0);
  EXPECT_EQ(layer.type, LAYER_PICTURE);
  EXPECT_EQ(layer.positionkeys.count, 1);
  EXPECT_EQ(layer.haspositionkeys, 1);
  // <timeline>, <layer> and <part> each left open.
  EXPECT_EQ(parsed.count(Problem::BlockNotClosed), 3);
}
