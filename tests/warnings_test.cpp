#include "script_util.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::test::parseBoth;

namespace {

std::vector<std::pair<int, std::string>> listed(const test::Parsed &parsed) {
  std::vector<std::pair<int, std::string>> out;
  for (const auto &warning : parsed.warnings)
    out.emplace_back(warning.line, warning.message);
  return out;
}

} // namespace

TEST(ScriptWarnings, EachKindWithItsLine) {
  const char *text = R"(<demo>
resolution 640 4x0
</demo>
<part>
length 1000
speed 3
<layer>
type PICTURE
colr 1 2 3 4
<timeline>
500 position 1 1 1
100 position 0 0 0
</timeline>
</layer>
</part>
<part> length 10 <layer> <blobs> size 1
)";
  auto parsed = parseBoth(text);
  using W = std::vector<std::pair<int, std::string>>;
  EXPECT_EQ(listed(parsed),
            (W{{2, "'4x0' is not a whole number (resolution)"},
               {3, "unrecognised token '</demo>' in <demo>"},
               {6, "unrecognised token 'speed' in <part>"},
               {6, "unrecognised token '3' in <part>"},
               {9, "unrecognised token 'colr' in <layer>"},
               {9, "unrecognised token '1' in <layer>"},
               {9, "unrecognised token '2' in <layer>"},
               {9, "unrecognised token '3' in <layer>"},
               {9, "unrecognised token '4' in <layer>"},
               {12, "position key at 100 ms comes before the previous one at "
                    "500 ms"},
               {16, "<blobs> is not closed before the end of the text"},
               {16, "<layer> is not closed before the end of the text"},
               {16, "<part> is not closed before the end of the text"}}));
}

TEST(ScriptWarnings, NeverChangeWhatIsParsed) {
  const char *text = "<demo> showfps ENABLE <part> length 100 <layer> "
                     "type BLOB scale 1 x 3 blend ONE nope </layer> </part>";
  auto withWarnings = parseBoth(text);
  auto show = std::make_unique<Show>();
  parseScriptText(*show, text, false);
  parseScriptText(*show, text, true);
  const Layer &a = withWarnings.layer(0, 0);
  const Layer &b = show->parts[0].layers[0];
  EXPECT_EQ(a.scale[1], b.scale[1]);
  EXPECT_EQ(a.scale[2], 3.0f);
  EXPECT_EQ(a.dstblend, -1);
  EXPECT_EQ(b.dstblend, -1);
  EXPECT_EQ(withWarnings.warnings.size(), 2u);
  EXPECT_TRUE(withWarnings.warned("'x' is not a number (scale)"));
  EXPECT_TRUE(withWarnings.warned("unknown value 'nope' for blend"));
}

TEST(ScriptWarnings, LoopOrder) {
  auto parsed = parseBoth("<demo> <part> <layer> <timeline> <loop> 100 2 "
                          "0 position 0 0 0 150 position 1 1 1 </loop> "
                          "</timeline> </layer> </part>");
  EXPECT_TRUE(parsed.warned("do not fit in one period"));
}
