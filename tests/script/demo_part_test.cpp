#include "script_util.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::test::parseBoth;

TEST(DemoBlock, ExampleScript) {
  const auto parsed = parseBoth(R"(<demo>
resolution 640 480
fullscreen DISABLE
music ENABLE
musicfilename song.mp3
showfps ENABLE
<part>
length 10000
backgroundcolor 0 0 64
<layer>
type XFILE
filename ship.x
position 0 0 5
scale 1 1 1
</layer>
</part>
)");
  EXPECT_TRUE(parsed.settingsRead);
  EXPECT_TRUE(parsed.fullRead);
  const Show &show = *parsed.show;
  EXPECT_EQ(show.resolution[0], 640);
  EXPECT_EQ(show.resolution[1], 480);
  EXPECT_EQ(show.fullscreen, 0);
  EXPECT_EQ(show.music, 1);
  EXPECT_EQ(show.showfps, 1);
  EXPECT_EQ(show.showtime, 0);
  EXPECT_STREQ(show.musicfilename, "song.mp3");
  ASSERT_EQ(show.partnumber, 1);
  const Part &part = parsed.part(0);
  EXPECT_EQ(part.starttime, 0);
  EXPECT_EQ(part.endtime, 10000);
  EXPECT_EQ(part.backgroundcolor[2], 64);
  ASSERT_EQ(part.layernumber, 1);
  const Layer &layer = parsed.layer(0, 0);
  EXPECT_EQ(layer.type, LAYER_XFILE);
  EXPECT_STREQ(layer.filename, "ship.x");
  EXPECT_EQ(layer.position[2], 5.0f);
  EXPECT_EQ(layer.scale[0], 1.0f);
  // The settings pass logs no parts, the full pass one.
  EXPECT_EQ(parsed.log, (std::vector<std::string>{
                            "PartNumber: 0", "Length: 0 - 10000",
                            "--------------- LOADLAYER", "PartNumber: 1"}));
  EXPECT_TRUE(parsed.reports.empty());
}

TEST(DemoBlock, StartAndWrongStart) {
  auto minimal = parseBoth("<demo>");
  EXPECT_TRUE(minimal.settingsRead && minimal.fullRead);
  EXPECT_EQ(minimal.show->partnumber, 0);
  EXPECT_EQ(minimal.log,
            (std::vector<std::string>{"PartNumber: 0", "PartNumber: 0"}));

  auto empty = parseBoth("  // nothing but a comment\n");
  EXPECT_TRUE(empty.settingsRead && empty.fullRead);
  EXPECT_EQ(empty.log,
            (std::vector<std::string>{"PartNumber: 0", "PartNumber: 0"}));

  EXPECT_TRUE(parseBoth("/* header */ <demo> showfps ENABLE").show->showfps);

  auto wrong = parseBoth("resolution 640 480 <demo> showfps ENABLE");
  EXPECT_FALSE(wrong.settingsRead);
  EXPECT_FALSE(wrong.fullRead);
  EXPECT_EQ(wrong.show->resolution[0], 0);
  EXPECT_EQ(wrong.show->showfps, 0);
  EXPECT_EQ(wrong.log, (std::vector<std::string>{"Scriptfile is wrong!",
                                                 "Scriptfile is wrong!"}));
  // Case matters.
  EXPECT_FALSE(parseBoth("<DEMO>").settingsRead);
}

TEST(DemoBlock, SwitchesAndMissingValues) {
  auto parsed = parseBoth("<demo> showfps ENABLE showfps maybe showtime "
                          "ENABLE showtime DISABLE music Enable fullscreen "
                          "ENABLE </demo> resolution 800 600");
  const Show &show = *parsed.show;
  EXPECT_EQ(show.showfps, 1); // "maybe" leaves it and is consumed
  EXPECT_EQ(show.showtime, 0);
  EXPECT_EQ(show.music, 0); // case-sensitive
  EXPECT_EQ(show.fullscreen, 1);
  // Everything after a closing demo tag still belongs to the demo block.
  EXPECT_EQ(show.resolution[0], 800);
  EXPECT_EQ(show.resolution[1], 600);

  // A value missing at the end is read from the kept token.
  auto cut = parseBoth("<demo> resolution 1024");
  EXPECT_EQ(cut.show->resolution[0], 1024);
  EXPECT_EQ(cut.show->resolution[1], 1024);
  auto bare = parseBoth("<demo> musicfilename");
  EXPECT_STREQ(bare.show->musicfilename, "musicfilename");
  auto sw = parseBoth("<demo> showfps");
  EXPECT_EQ(sw.show->showfps, 0);
}

TEST(PartBlock, LengthsTileTheShowClock) {
  auto parsed = parseBoth("<demo> <part> length 5000 </part> "
                          "<part> backgroundcolor 300 -1 7 </part> "
                          "<part> length 3000 </part>");
  const Show &show = *parsed.show;
  ASSERT_EQ(show.partnumber, 3);
  EXPECT_EQ(show.parts[0].starttime, 0);
  EXPECT_EQ(show.parts[0].endtime, 5000);
  // No length: the part never plays, and the next one starts at 0.
  EXPECT_EQ(show.parts[1].starttime, 0);
  EXPECT_EQ(show.parts[1].endtime, 0);
  EXPECT_EQ(show.parts[1].backgroundcolor[0], 44);
  EXPECT_EQ(show.parts[1].backgroundcolor[1], 255);
  EXPECT_EQ(show.parts[1].backgroundcolor[2], 7);
  EXPECT_EQ(show.parts[2].starttime, 0);
  EXPECT_EQ(show.parts[2].endtime, 3000);

  auto two = parseBoth("<demo> <part> length 5000 </part> <part> length 3000 "
                       "</part>");
  EXPECT_EQ(two.show->parts[1].starttime, 5000);
  EXPECT_EQ(two.show->parts[1].endtime, 8000);
  EXPECT_TRUE(two.logged("Length: 0 - 5000"));
  EXPECT_TRUE(two.logged("Length: 5000 - 8000"));
}

TEST(PartBlock, PassesSeeDifferentGrammars) {
  // In the settings pass the part's contents are demo items; in the full
  // pass a demo keyword inside a part is skipped.
  const char *text = "<demo> <part> length 100 showtime ENABLE </part>";
  auto show = std::make_unique<Show>();
  parseScriptText(*show, text, false, standardLogger());
  EXPECT_EQ(show->showtime, 1);
  EXPECT_EQ(show->partnumber, 0);

  auto fullOnly = std::make_unique<Show>();
  parseScriptText(*fullOnly, text, true, standardLogger());
  EXPECT_EQ(fullOnly->showtime, 0);
  EXPECT_EQ(fullOnly->partnumber, 1);
  EXPECT_EQ(fullOnly->parts[0].endtime, 100);
}

TEST(PartBlock, MissingPartEndSwallowsLaterParts) {
  auto parsed = parseBoth("<demo> <part> length 100 <layer> type PICTURE "
                          "</layer> <part> length 200 <layer> type BLOB "
                          "</layer>");
  ASSERT_EQ(parsed.show->partnumber, 1);
  const Part &part = parsed.part(0);
  EXPECT_EQ(part.endtime, 200); // the later length overwrote the first
  ASSERT_EQ(part.layernumber, 2);
  EXPECT_EQ(part.layers[1].type, LAYER_BLOB);
  EXPECT_TRUE(parsed.reported(Problem::BlockNotClosed));
}

TEST(PartBlock, LayerOutsideAPartIsNotALayer) {
  auto parsed = parseBoth("<demo> <layer> type XFILE resolution 320 200 "
                          "</layer>");
  EXPECT_EQ(parsed.show->partnumber, 0);
  EXPECT_EQ(parsed.show->resolution[0], 320);
  EXPECT_FALSE(parsed.logged("--------------- LOADLAYER"));
}
