// The folders of src/ are layers: each includes only the folders below it,
// and only device/gl calls OpenGL.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// What each folder may include besides itself.
const std::map<std::string, std::set<std::string>> allowed = {
    {"base", {}},
    {"script", {"base"}},
    {"metaballs", {"base"}},
    {"device", {"base"}},
    {"device/gl", {"device", "base"}},
    {"gfxutil", {"device", "base"}},
    {"music", {"base"}},
    {"platform", {"device", "base"}},
    {"playback", {"script", "device", "base"}},
    {"layers",
     {"playback", "gfxutil", "platform", "metaballs", "script", "device",
      "base"}},
    {"player",
     {"layers", "playback", "gfxutil", "platform", "music", "metaballs",
      "script", "device/gl", "device", "base"}},
};

// The folder a path inside src/ belongs to: device/gl apart from device.
std::string folderOf(const std::string &path) {
  if (path.rfind("device/gl/", 0) == 0)
    return "device/gl";
  return path.substr(0, path.find('/'));
}

std::string read(const fs::path &file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

} // namespace

TEST(Layering, NoIncludeRunsUpwardAndOnlyDeviceGlCallsGl) {
  const fs::path src = fs::path(KORVANE_TESTS_DIR).parent_path() / "src";
  const std::regex include(R"(#include\s+"([a-z_]+/[^"]+)\")");
  const std::regex glHeader(R"(#include\s+<GL/)");
  const std::regex glCall(R"((^|[^A-Za-z0-9_])gl[A-Z][A-Za-z0-9]*\s*\()");
  int files = 0;
  for (const auto &entry : fs::recursive_directory_iterator(src)) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".cpp" && ext != ".h")
      continue;
    ++files;
    const std::string relative = fs::relative(entry.path(), src).string();
    const std::string folder = folderOf(relative);
    ASSERT_TRUE(allowed.count(folder)) << relative << ": a folder of its own";
    const std::string text = read(entry.path());
    for (std::sregex_iterator i(text.begin(), text.end(), include), end;
         i != end; ++i) {
      const std::string used = folderOf((*i)[1].str());
      EXPECT_TRUE(used == folder || allowed.at(folder).count(used))
          << relative << " includes " << (*i)[1].str();
    }
    if (folder != "device/gl") {
      EXPECT_FALSE(std::regex_search(text, glHeader))
          << relative << " includes a GL header";
      EXPECT_FALSE(std::regex_search(text, glCall)) << relative << " calls GL";
    }
  }
  EXPECT_GT(files, 60);
}
