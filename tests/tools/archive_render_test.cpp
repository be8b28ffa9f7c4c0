// A show played straight from its .zip archive draws what the same show
// unpacked into a folder draws, whatever the archive's folder, separators
// and case; what the archive refuses is said, naming the archive and the
// entry, and the show goes on.

#include "render_support.h"
#include "zip_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/wait.h>

using namespace korvane;
using namespace korvane::test;

namespace {

std::string readAll(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string upper(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

} // namespace

TEST(Archive, TheRendererDrawsTheArchivedShowAsTheUnpackedOne) {
  TempFolder temp;
  const fs::path show = fs::path(KORVANE_SOURCE_DIR) / "show";
  std::vector<ZipEntry> entries;
  for (const auto &file : fs::recursive_directory_iterator(show)) {
    const std::string relative = fs::relative(file.path(), show).string();
    if (!file.is_regular_file() || relative.rfind("tools", 0) == 0 ||
        file.path().filename() == "debug.log")
      continue;
    std::string name = "Show 1\\" + upper(relative);
    std::replace(name.begin(), name.end(), '/', '\\');
    entries.push_back({name, readAll(file.path())});
  }
  entries.push_back({"Show 1\\..\\..\\evil.png", "x"});
  const std::string zip = (temp.path / "show.zip").string();
  ASSERT_TRUE(writeZip(zip, entries));

  auto render = [&](const std::string &from, const std::string &out) {
    const std::string command = std::string("'") + KORVANE_RENDER + "' '" +
                                from + "' --out '" + out +
                                "' --at 1500,26000,48000 2>&1";
    std::string said;
    if (std::FILE *pipe = popen(command.c_str(), "r")) {
      char line[512];
      while (std::fgets(line, sizeof line, pipe))
        said += line;
      EXPECT_EQ(pclose(pipe), 0) << said;
    }
    return said;
  };
  const std::string said = render(zip, (temp.path / "zipped").string());
  render(show.string(), (temp.path / "unpacked").string());
  EXPECT_NE(said.find(zip + ": Show 1\\..\\..\\evil.png is refused (its name "
                            "climbs out of the archive)"),
            std::string::npos)
      << said;
  for (const char *still : {"at_1500.png", "at_26000.png", "at_48000.png"}) {
    const std::string zipped = readAll(temp.path / "zipped" / still);
    EXPECT_GT(zipped.size(), 1000u) << still;
    EXPECT_TRUE(zipped == readAll(temp.path / "unpacked" / still)) << still;
  }
  EXPECT_TRUE(fs::exists(zip + ".debug.log"));
}
