// The folders of src/ are layers: each includes only the folders below it,
// only the device's backends (device/gl, device/gles) call OpenGL, and only
// platform/ knows the system's own libraries: the rest reaches them through
// platform's interfaces, never through the folder of one platform.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What each folder may include besides itself.
const std::map<std::string, std::set<std::string>> allowed = {
    {"base", {}},
    {"script", {"base"}},
    {"animation", {"script", "base"}},
    {"metaballs", {"base"}},
    {"device", {"base"}},
    {"device/gl", {"device", "base"}},
    {"device/gles", {"device", "base"}},
    {"gfxutil", {"device", "base"}},
    {"platform", {"device", "base"}},
    {"playback", {"animation", "script", "device", "base"}},
    {"layers",
     {"playback", "animation", "gfxutil", "platform", "metaballs", "script",
      "device", "base"}},
    {"player",
     {"layers", "playback", "animation", "gfxutil", "platform", "metaballs",
      "script", "device/gl", "device/gles", "device", "base"}},
};

// The folder a path inside src/ belongs to: the backends apart from
// device.
std::string folderOf(const std::string &path) {
  for (const char *backend : {"device/gl", "device/gles"})
    if (path.rfind(std::string(backend).append("/"), 0) == 0)
      return backend;
  return path.substr(0, path.find('/'));
}

std::string read(const fs::path &file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Whether the text includes a header of SDL, SDL_mixer or inotify.
bool includesSystem(const std::string &text) {
  return text.find("#include <SDL") != std::string::npos ||
         text.find("#include <sys/inotify.h>") != std::string::npos;
}

bool wordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The quoted names of `#include "..."` lines that name a folder.
std::vector<std::string> quotedIncludes(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = line.find("#include");
    const std::size_t open = line.find('"', at);
    const std::size_t close = line.find('"', open + 1);
    if (at == std::string::npos || open == std::string::npos ||
        close == std::string::npos)
      continue;
    const std::string name = line.substr(open + 1, close - open - 1);
    if (name.find('/') != std::string::npos)
      out.push_back(name);
  }
  return out;
}

// A call of a GL function: `gl` and a capital starting a word, then `(`.
bool callsGl(const std::string &text) {
  for (std::size_t at = text.find("gl"); at != std::string::npos;
       at = text.find("gl", at + 1)) {
    if ((at > 0 && wordChar(text[at - 1])) || at + 2 >= text.size() ||
        !std::isupper(static_cast<unsigned char>(text[at + 2])))
      continue;
    std::size_t end = at + 2;
    while (end < text.size() && wordChar(text[end]))
      ++end;
    while (end < text.size() && (text[end] == ' ' || text[end] == '\n'))
      ++end;
    if (end < text.size() && text[end] == '(')
      return true;
  }
  return false;
}

} // namespace

TEST(Layering, ScannersFindIncludesAndGlCalls) {
  EXPECT_EQ(quotedIncludes("#include \"a/b.h\"\n#include \"c.h\"\n"),
            std::vector<std::string>{"a/b.h"});
  EXPECT_TRUE(callsGl("x; glClear (mask);"));
  EXPECT_FALSE(callsGl("GlBackend gl; gl.blend(1); myglThing(2);"));
}

TEST(Layering, NoIncludeRunsUpwardAndOnlyTheBackendsCallGl) {
  const fs::path src = fs::path(KORVANE_TESTS_DIR).parent_path() / "src";
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
    for (const std::string &name : quotedIncludes(text)) {
      const std::string used = folderOf(name);
      EXPECT_TRUE(used == folder || allowed.at(folder).count(used))
          << relative << " includes " << name;
      // platform/sdl/...: one platform's own header.
      if (folder != "platform" && used == "platform") {
        EXPECT_EQ(name.find('/', name.find('/') + 1), std::string::npos)
            << relative << " includes " << name;
      }
    }
    if (folder != "platform") {
      EXPECT_FALSE(includesSystem(text)) << relative << " includes SDL";
    }
    if (folder != "device/gl" && folder != "device/gles") {
      EXPECT_EQ(text.find("#include <GL/"), std::string::npos)
          << relative << " includes a GL header";
      EXPECT_EQ(text.find("#include <GLES"), std::string::npos)
          << relative << " includes a GLES header";
      EXPECT_FALSE(callsGl(text)) << relative << " calls GL";
    }
  }
  EXPECT_GT(files, 60);
  // The programs too start and end the system through platform/.
  const fs::path tools = fs::path(KORVANE_TESTS_DIR).parent_path() / "tools";
  for (const auto &entry : fs::directory_iterator(tools))
    EXPECT_FALSE(includesSystem(read(entry.path())))
        << entry.path().filename().string() << " includes SDL";
}
