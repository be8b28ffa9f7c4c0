#include "script/reader.h"

#include "problem_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

using namespace korvane;

namespace {
// The debug log alone, and nowhere: these readers' other reports are not
// what is tested.
const Logger quiet;
} // namespace

namespace {

std::vector<std::string> tokens(std::string_view text,
                                std::vector<std::string> *log = nullptr) {
  std::vector<std::string> unread;
  const Logger logger = test::linesInto(log ? *log : unread);
  ScriptReader reader(logger);
  reader.openText(text);
  std::vector<std::string> out;
  while (reader.next())
    out.emplace_back(reader.token);
  return out;
}

using Tokens = std::vector<std::string>;

} // namespace

TEST(ScriptReader, SeparatorsAndComments) {
  EXPECT_EQ(tokens(""), Tokens{});
  EXPECT_EQ(tokens(" \t\r\n // only a comment\n /* and another */ "), Tokens{});
  // An empty comment right in front of a token, and one with blanks inside.
  EXPECT_EQ(tokens("/**/showfps"), Tokens{"showfps"});
  EXPECT_EQ(tokens("/* a b\nc */ music"), Tokens{"music"});
  // A slash, star and slash do not close the comment they open.
  EXPECT_EQ(tokens("/*/ still comment */ after"), Tokens{"after"});
  // Comments start only where a token would.
  EXPECT_EQ(tokens("a//b c/*d e"), (Tokens{"a//b", "c/*d", "e"}));
  EXPECT_EQ(tokens("a // rest of line\nb"), (Tokens{"a", "b"}));
  EXPECT_EQ(tokens("/ x"), (Tokens{"/", "x"}));
  // Nothing nests: the first */ ends the comment.
  EXPECT_EQ(tokens("/* /* */ x */"), (Tokens{"x", "*/"}));
  // A line comment may end the file without a line feed.
  EXPECT_EQ(tokens("a\n// last line"), Tokens{"a"});
}

TEST(ScriptReader, UnterminatedCommentLogsOnceAndEnds) {
  std::vector<std::string> log;
  const Logger logger = test::linesInto(log);
  ScriptReader reader(logger);
  reader.openText("first /* never closed\nsecond");
  ASSERT_TRUE(reader.next());
  EXPECT_STREQ(reader.token, "first");
  EXPECT_FALSE(reader.next());
  EXPECT_FALSE(reader.next());
  EXPECT_EQ(log, Tokens{"Unexpected end of file found in comment!"});
  // The reader keeps its last token after the end.
  EXPECT_STREQ(reader.token, "first");
}

TEST(ScriptReader, TextModeAndHighBytes) {
  EXPECT_EQ(tokens("a\r\nb\r\n// c\r\nd"), tokens("a\nb\n// c\nd"));
  EXPECT_EQ(tokens("a\r\nb"), (Tokens{"a", "b"}));
  // 0x1A ends the text.
  EXPECT_EQ(tokens(std::string("a b\x1a"
                               "c",
                               5)),
            (Tokens{"a", "b"}));
  // A byte of 0x80 or more splits a token and disappears; so does a BOM.
  EXPECT_EQ(tokens("ab\xe9"
                   "cd"),
            (Tokens{"ab", "cd"}));
  EXPECT_EQ(tokens("\xef\xbb\xbf<demo>"), Tokens{"<demo>"});
  // A NUL inside the text separates as well.
  EXPECT_EQ(tokens(std::string("a\0b", 3)), (Tokens{"a", "b"}));
  EXPECT_EQ(tokens("\x7f~!"), Tokens{"\x7f~!"});
}

TEST(ScriptReader, TokenLengthLimits) {
  const std::string exact(1023, 'k');
  EXPECT_EQ(tokens(exact + " z"), (Tokens{exact, "z"}));

  std::vector<std::string> log;
  const std::string overlong(5000, 'q');
  EXPECT_EQ(tokens("a " + overlong + " b", &log),
            (Tokens{"a", std::string(1023, 'q'), "b"}));
  EXPECT_TRUE(log.empty()); // a warning, not a line of debug.log

  // A shorter token after a longer one leaves the buffer clear past it.
  ScriptReader reader(quiet);
  reader.openText("abcdefgh xy");
  reader.next();
  reader.next();
  EXPECT_STREQ(reader.token, "xy");
  for (std::size_t i = 2; i < tokenCapacity; ++i)
    ASSERT_EQ(reader.token[i], '\0') << i;
}

TEST(ScriptReader, LineNumbers) {
  ScriptReader reader(quiet);
  reader.openText("a\r\n/* two\nlines */ b\n\n// c\nd e");
  std::vector<int> lines;
  while (reader.next())
    lines.push_back(reader.tokenline);
  EXPECT_EQ(lines, (std::vector<int>{1, 3, 6, 6}));
}

TEST(ScriptReader, MissingFileReadsEmptyAndSaysSo) {
  korvane::test::ReportedProblems problems;
  ScriptReader reader(problems);
  reader.open("/nonexistent/korvane/mirl .script");
  EXPECT_FALSE(reader.next());
  EXPECT_TRUE(problems.lines.empty());
  EXPECT_EQ(problems.ids(), std::vector<Problem>{Problem::ScriptUnreadable});
  EXPECT_EQ(problems.reports[0].file, "/nonexistent/korvane/mirl .script");
  reader.close();
}

TEST(ScriptReader, ReadsFileWithCrLf) {
  char name[] = "/tmp/korvane-script-XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  const char content[] = "<demo>\r\nresolution 640 480\r\n";
  ASSERT_EQ(write(fd, content, sizeof content - 1),
            static_cast<ssize_t>(sizeof content - 1));
  close(fd);
  ScriptReader reader(quiet);
  reader.open(name);
  std::vector<std::string> out;
  while (reader.next())
    out.emplace_back(reader.token);
  EXPECT_EQ(out, (Tokens{"<demo>", "resolution", "640", "480"}));
  EXPECT_EQ(reader.end - reader.text.get(), 26);
  reader.close();
  std::remove(name);
}

TEST(ScriptNumbers, IntegerConversion) {
  EXPECT_EQ(scriptInteger("42"), 42);
  EXPECT_EQ(scriptInteger("-17"), -17);
  EXPECT_EQ(scriptInteger("+5"), 5);
  EXPECT_EQ(scriptInteger("12abc"), 12);
  EXPECT_EQ(scriptInteger("3.9"), 3);
  EXPECT_EQ(scriptInteger("abc"), 0);
  EXPECT_EQ(scriptInteger("-"), 0);
  EXPECT_EQ(scriptInteger("2147483648"), -2147483647 - 1); // wraps
  EXPECT_EQ(scriptInteger("4294967297"), 1);
  EXPECT_TRUE(isScriptInteger("-12"));
  EXPECT_FALSE(isScriptInteger("12x"));
  EXPECT_FALSE(isScriptInteger("+"));
}

TEST(ScriptNumbers, RealConversion) {
  EXPECT_EQ(scriptReal("1.5"), 1.5f);
  EXPECT_EQ(scriptReal("-0.25"), -0.25f);
  EXPECT_EQ(scriptReal(".5"), 0.5f);
  EXPECT_EQ(scriptReal("5."), 5.0f);
  EXPECT_EQ(scriptReal("1e3"), 1000.0f);
  EXPECT_EQ(scriptReal("2.5E-1x"), 0.25f);
  EXPECT_EQ(scriptReal("3e"), 3.0f);
  EXPECT_EQ(scriptReal("3e+"), 3.0f);
  EXPECT_EQ(scriptReal("0.1"), static_cast<float>(0.1));
  EXPECT_EQ(scriptReal("0.5f"), 0.5f);
  EXPECT_EQ(scriptReal("abc"), 0.0f);
  EXPECT_EQ(scriptReal("."), 0.0f);
  // Not the script's form: hex, inf and nan read as 0 or stop early.
  EXPECT_EQ(scriptReal("0x10"), 0.0f);
  EXPECT_EQ(scriptReal("inf"), 0.0f);
  EXPECT_EQ(scriptReal("nan"), 0.0f);
  EXPECT_TRUE(std::isinf(scriptReal("1e999")));
  EXPECT_TRUE(isScriptReal("-1.5e3"));
  EXPECT_FALSE(isScriptReal("0.5f"));
}
