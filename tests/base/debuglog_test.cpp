#include "base/debuglog.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace korvane;

namespace {

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A folder of its own.
struct TempDir : korvane::test::TempFolder {
  TempDir() : TempFolder(true) {}
};

// A logger writing the file alone.
Logger writing(const LogFile &file) {
  Logger logger;
  logger.addLines(logFileSink(file));
  return logger;
}

} // namespace

TEST(DebugLog, OpenEmptiesAndEachWriteAppendsOneLine) {
  TempDir dir;
  const fs::path log = dir.path / "debug.log";
  std::ofstream(log) << "left over from an earlier run\n";

  LogFile file;
  std::string why;
  ASSERT_TRUE(file.open(log.string(), why)) << why;
  ASSERT_TRUE(fs::exists(log));
  EXPECT_EQ(readFile(log), "");

  const Logger logger = writing(file);
  logger.line(" DEBUG.LOG ");
  EXPECT_EQ(readFile(log), " DEBUG.LOG \n");
  logger.line("PartNumber: %d", 3);
  logger.line("100%% done");
  EXPECT_EQ(readFile(log), " DEBUG.LOG \nPartNumber: 3\n100% done\n");

  file.close();
  logger.line("after close");
  EXPECT_EQ(readFile(log), " DEBUG.LOG \nPartNumber: 3\n100% done\n");
}

// A relative name is taken against the folder current at opening: later
// changes of folder send no line elsewhere.
TEST(DebugLog, TheFileIsFixedWhenOpened) {
  TempDir dir;
  fs::create_directory(dir.path / "Data");
  const fs::path before = fs::current_path();
  fs::current_path(dir.path / "Data");
  LogFile file;
  std::string why;
  EXPECT_TRUE(file.open("debug.log", why)) << why;
  const Logger logger = writing(file);
  logger.line("in data");
  fs::current_path(dir.path);
  logger.line("musicfilename");
  fs::current_path(before);

  EXPECT_EQ(readFile(dir.path / "Data" / "debug.log"),
            "in data\nmusicfilename\n");
  EXPECT_FALSE(fs::exists(dir.path / "debug.log"));
}

TEST(DebugLog, OverlongLineIsCutNotOverflowed) {
  TempDir dir;
  const fs::path log = dir.path / "debug.log";
  LogFile file;
  std::string why;
  ASSERT_TRUE(file.open(log.string(), why)) << why;
  std::vector<std::string> captured;
  Logger logger = writing(file);
  logger.addLines(
      [&captured](const std::string &line) { captured.push_back(line); });
  const std::string longText(5000, 'x');
  logger.line("%s", longText.c_str());
  logger.line("next");

  EXPECT_EQ(readFile(log), std::string(1023, 'x') + "\nnext\n");
  ASSERT_EQ(captured.size(), 2u);
  EXPECT_EQ(captured[0].size(), 1023u);
  EXPECT_EQ(captured[1], "next");
}
