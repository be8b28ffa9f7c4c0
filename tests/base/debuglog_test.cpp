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

// A folder of its own, with the log closed again at the end.
struct TempDir : korvane::test::TempFolder {
  TempDir() : TempFolder(true) {}
  ~TempDir() { closeLog(); }
};

} // namespace

TEST(DebugLog, OpenEmptiesAndEachWriteAppendsOneLine) {
  TempDir dir;
  const fs::path log = dir.path / "debug.log";
  std::ofstream(log) << "left over from an earlier run\n";

  openLog(log.c_str());
  ASSERT_TRUE(fs::exists(log));
  EXPECT_EQ(readFile(log), "");

  writeLog(" DEBUG.LOG ");
  EXPECT_EQ(readFile(log), " DEBUG.LOG \n");
  writeLog("PartNumber: %d", 3);
  writeLog("100%% done");
  EXPECT_EQ(readFile(log), " DEBUG.LOG \nPartNumber: 3\n100% done\n");

  closeLog();
  writeLog("after close");
  EXPECT_EQ(readFile(log), " DEBUG.LOG \nPartNumber: 3\n100% done\n");
}

// A relative name is taken against the folder current at opening: later
// changes of folder send no line elsewhere.
TEST(DebugLog, TheFileIsFixedWhenOpened) {
  TempDir dir;
  fs::create_directory(dir.path / "Data");
  const fs::path before = fs::current_path();
  fs::current_path(dir.path / "Data");
  openLog("debug.log");
  writeLog("in data");
  fs::current_path(dir.path);
  writeLog("musicfilename");
  fs::current_path(before);
  closeLog();

  EXPECT_EQ(readFile(dir.path / "Data" / "debug.log"),
            "in data\nmusicfilename\n");
  EXPECT_FALSE(fs::exists(dir.path / "debug.log"));
}

TEST(DebugLog, OverlongLineIsCutNotOverflowed) {
  TempDir dir;
  const fs::path log = dir.path / "debug.log";
  openLog(log.c_str());
  std::vector<std::string> captured;
  setLogCapture(&captured);
  const std::string longText(5000, 'x');
  writeLog("%s", longText.c_str());
  writeLog("next");
  setLogCapture(nullptr);

  EXPECT_EQ(readFile(log), std::string(1023, 'x') + "\nnext\n");
  ASSERT_EQ(captured.size(), 2u);
  EXPECT_EQ(captured[0].size(), 1023u);
  EXPECT_EQ(captured[1], "next");
}
