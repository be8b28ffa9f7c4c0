#include "script_util.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::test::parseBoth;

namespace {

std::vector<std::pair<int, Problem>> listed(const test::Parsed &parsed) {
  std::vector<std::pair<int, Problem>> out;
  for (const Report &report : parsed.reports)
    out.emplace_back(report.line, report.id);
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
  using W = std::vector<std::pair<int, Problem>>;
  EXPECT_EQ(listed(parsed), (W{{2, Problem::NotAWholeNumber},
                               {3, Problem::UnknownToken},
                               {6, Problem::UnknownToken},
                               {6, Problem::UnknownToken},
                               {9, Problem::UnknownToken},
                               {9, Problem::UnknownToken},
                               {9, Problem::UnknownToken},
                               {9, Problem::UnknownToken},
                               {9, Problem::UnknownToken},
                               {12, Problem::KeyOutOfOrder},
                               {16, Problem::BlockNotClosed},
                               {16, Problem::BlockNotClosed},
                               {16, Problem::BlockNotClosed}}));
  // What the author reads: the file, the line, and the words of the list.
  EXPECT_EQ(describe(parsed.reports[0]),
            "script:2: '4x0' is not a whole number (resolution)");
  EXPECT_EQ(parsed.reports[9].text,
            "position key at 100 ms comes before the previous one at 500 ms");
  EXPECT_EQ(parsed.reports[12].text,
            "<part> is not closed before the end of the text");
  EXPECT_EQ(parsed.reports[0].kind, ProblemKind::Script);
}

TEST(ScriptWarnings, NeverChangeWhatIsParsed) {
  const char *text = "<demo> showfps ENABLE <part> length 100 <layer> "
                     "type BLOB scale 1 x 3 blend ONE nope </layer> </part>";
  auto withWarnings = parseBoth(text);
  auto show = std::make_unique<Show>();
  parseScriptText(*show, text, false, standardLogger());
  parseScriptText(*show, text, true, standardLogger());
  const Layer &a = withWarnings.layer(0, 0);
  const Layer &b = show->parts[0].layers[0];
  EXPECT_EQ(a.scale[1], b.scale[1]);
  EXPECT_EQ(a.scale[2], 3.0f);
  EXPECT_EQ(a.dstblend, -1);
  EXPECT_EQ(b.dstblend, -1);
  EXPECT_EQ(listed(withWarnings),
            (std::vector<std::pair<int, Problem>>{{1, Problem::NotANumber},
                                                  {1, Problem::UnknownValue}}));
}

TEST(ScriptWarnings, LoopOrder) {
  auto parsed = parseBoth("<demo> <part> <layer> <timeline> <loop> 100 2 "
                          "0 position 0 0 0 150 position 1 1 1 </loop> "
                          "</timeline> </layer> </part>");
  EXPECT_TRUE(parsed.reported(Problem::LoopOutOfOrder));
}
