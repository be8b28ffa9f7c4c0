// korvane-render: frames on a virtual clock, stills as play shows them,
// and the bundled show against its reference frames.

#include "gfxutil/picture_file.h"
#include "gfxutil/png_file.h"
#include "render_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace korvane;
using namespace korvane::test;

TEST(RenderTool, OfflineRendererWritesFrames) {
  const korvane::test::TempFolder scratch;
  const fs::path folder = scratch.path;
  fs::create_directory(folder / "Data");
  std::ofstream(folder / "Data" / "mirl .script")
      << "<demo> resolution 80 60 <part> length 100 backgroundcolor 0 255 0 "
         "</part>";
  const std::string tool = KORVANE_RENDER;
  auto run = [&](const std::string &arguments) {
    const std::string command =
        "'" + tool + "' " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  const std::string show = "'" + folder.string() + "'";
  const std::string out = "'" + (folder / "out").string() + "'";
  // A time past the end: the others written, that one said, and failure.
  EXPECT_EQ(run(show + " --out " + out + " --at 0,50,200"), 1);
  EXPECT_TRUE(fs::exists(folder / "out" / "at_0.png"));
  EXPECT_TRUE(fs::exists(folder / "out" / "at_50.png"));
  EXPECT_FALSE(fs::exists(folder / "out" / "at_200.png")); // after the end
  EXPECT_TRUE(fs::exists(folder / "Data" / "debug.log"));
  // The same command writes the same bytes.
  std::ifstream first(folder / "out" / "at_50.png", std::ios::binary);
  std::stringstream a;
  a << first.rdbuf();
  EXPECT_EQ(run(show + " --out " + out + " --fps 40 --size 40x30"), 0);
  EXPECT_TRUE(fs::exists(folder / "out" / "frame_000003.png"));
  EXPECT_FALSE(fs::exists(folder / "out" / "frame_000004.png"));
  EXPECT_EQ(run(show + " --out " + out + " --at 50"), 0);
  std::ifstream second(folder / "out" / "at_50.png", std::ios::binary);
  std::stringstream b;
  b << second.rdbuf();
  EXPECT_EQ(a.str(), b.str());
  EXPECT_GT(a.str().size(), 50u);

  EXPECT_EQ(run("--help"), 0);
  EXPECT_EQ(run(show), 2);
  EXPECT_EQ(run(show + " --out " + out + " --fps 0"), 2);
  EXPECT_EQ(run(show + " --out " + out + " --size 10"), 2);
  EXPECT_EQ(run("/nonexistent --out " + out), 1);
  std::ofstream(folder / "Data" / "mirl .script") << "resolution 80 60";
  EXPECT_EQ(run(show + " --out " + out + " --at 0"), 1);
}

// A still is what continuous play shows at its time, whatever was rendered
// before it; the trace has one present per picture written.
TEST(RenderTool, StillsDoNotDependOnEarlierStills) {
  const korvane::test::TempFolder scratch;
  const fs::path show = fs::path(KORVANE_SOURCE_DIR) / "show";
  fs::copy(show, scratch.path / "show", fs::copy_options::recursive);
  auto render = [&](const std::string &at, const std::string &out,
                    const std::string &more = "") {
    const std::string command = std::string("'") + KORVANE_RENDER + "' '" +
                                (scratch.path / "show").string() +
                                "' --size 160x120 --out '" +
                                (scratch.path / out).string() + "' --at " + at +
                                more + " >/dev/null 2>&1";
    return std::system(command.c_str());
  };
  ASSERT_EQ(render("26000", "alone"), 0);
  ASSERT_EQ(render("18000,26000", "after",
                   " --trace '" + (scratch.path / "trace").string() + "'"),
            0);
  auto read = [](const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  };
  const std::string alone = read(scratch.path / "alone" / "at_26000.png");
  EXPECT_GT(alone.size(), 100u);
  EXPECT_EQ(alone, read(scratch.path / "after" / "at_26000.png"));
  std::ifstream trace(scratch.path / "trace" / "trace.txt");
  int presents = 0, clears = 0;
  for (std::string line; std::getline(trace, line);) {
    presents += line == "present";
    clears += line.rfind("clear ", 0) == 0;
  }
  EXPECT_EQ(presents, 2);
  // Each still after frames drawn but not shown: one of each earlier part,
  // then the one 1/60 s before it.
  EXPECT_EQ(clears, 3 + 4);
}

TEST(BundledShow, ReadsCleanAndMatchesItsReferences) {
  const fs::path root = fs::path(KORVANE_SOURCE_DIR);
  const fs::path show = root / "show";
  ASSERT_TRUE(fs::exists(show / "Data" / "mirl .script"));
  // Rendered in a copy, so that the debug.log stays out of the source tree.
  const korvane::test::TempFolder scratch;
  const fs::path work = scratch.path;
  fs::copy(show, work / "show", fs::copy_options::recursive);
  const std::string inspect = std::string("'") + KORVANE_INSPECT +
                              "' --check '" + (work / "show").string() +
                              "' 2>&1";
  EXPECT_EQ(std::system(inspect.c_str()), 0) << "the script has warnings";

  std::ifstream timesFile(root / "tests" / "reference" / "times");
  std::string times;
  std::getline(timesFile, times);
  const std::string render =
      std::string("'") + KORVANE_RENDER + "' '" + (work / "show").string() +
      "' --out '" + (work / "out").string() + "' --size 320x240 --renderer " +
      testRendererName() + " --at " + times + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(render.c_str()), 0);

  const fs::path diffs = fs::path(KORVANE_TEST_OUTPUT) / "show-diffs";
  std::stringstream list(times);
  std::string ms;
  int compared = 0;
  while (std::getline(list, ms, ',')) {
    SCOPED_TRACE("show time " + ms);
    auto load = [](const fs::path &path, Picture &picture) {
      std::ifstream in(path, std::ios::binary);
      const std::vector<std::uint8_t> bytes(
          (std::istreambuf_iterator<char>(in)),
          std::istreambuf_iterator<char>());
      return decodePicture(bytes.data(), bytes.size(), picture);
    };
    Picture got, want;
    ASSERT_TRUE(load(work / "out" / ("at_" + ms + ".png"), got));
    ASSERT_TRUE(
        load(root / "tests" / "reference" / ("at_" + ms + ".png"), want));
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    // llvmpipe rounds alike from run to run; a few levels cover the rest.
    int off = 0;
    std::string difference(std::size_t(got.width) * got.height * 3, '\0');
    for (std::size_t i = 0; i < std::size_t(got.width) * got.height; ++i) {
      int worst = 0;
      for (int c = 0; c < 3; ++c) {
        const int d = std::abs(got.bgra[4 * i + c] - want.bgra[4 * i + c]);
        worst = std::max(worst, d);
        difference[3 * i + 2 - c] = static_cast<char>(std::min(255, d * 8));
      }
      off += worst > 6;
    }
    const int allowed = got.width * got.height / 1000;
    EXPECT_LE(off, allowed) << off << " pixels differ";
    if (off > allowed) {
      fs::create_directories(diffs);
      writePng((diffs / ("diff_" + ms + ".png")).string(), got.width,
               got.height, difference);
      fs::copy_file(work / "out" / ("at_" + ms + ".png"),
                    diffs / ("got_" + ms + ".png"),
                    fs::copy_options::overwrite_existing);
    }
    ++compared;
  }
  EXPECT_EQ(compared, 10);
}

// Numbers beyond what an option takes are refused, never wrapped round
// into one it does take; the message gives the range.
TEST(RenderTool, NumbersOutOfRangeAreRefused) {
  const korvane::test::TempFolder scratch;
  fs::create_directory(scratch.path / "Data");
  std::ofstream(scratch.path / "Data" / "mirl .script")
      << "<demo> resolution 80 60 <part> length 100 </part>";
  const std::string err = (scratch.path / "said.txt").string();
  const std::string out = (scratch.path / "out").string();
  const struct {
    const char *arguments, *said;
    int status = 2;
  } refused[] = {
      {"--size 4294967936x480", "--size needs WxH, each from 1 to 8192"},
      {"--size 640x4294967776", "each from 1 to 8192"},
      {"--size 8193x480", "each from 1 to 8192"},
      {"--size -640x480", "each from 1 to 8192"},
      {"--size 640x480x2", "each from 1 to 8192"},
      {"--size 4000x3000 --supersample 4",
       "is drawn at 16000x12000; at most 8192"},
      {"--fps 4294967297", "--fps needs a rate from 1 to 1000"},
      {"--at 4294967296", "--at needs show times"},
      {"--at 200", "--at 200 is past the show's end (100 ms)", 1},
  };
  for (const auto &r : refused) {
    const std::string command =
        std::string("'") + KORVANE_RENDER + "' '" + scratch.path.string() +
        "' --out '" + out + "' " + r.arguments + " >/dev/null 2>'" + err + "'";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == r.status)
        << r.arguments;
    std::ifstream in(err);
    const std::string said{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(said.find(r.said), std::string::npos) << said;
  }
  EXPECT_TRUE(!fs::exists(out) || fs::is_empty(out));
}
