// What authors see with the player's own keys, on real frames: a still is
// the renderer's picture at its time, and a layer left out draws what a
// script without it draws.

#include "base/pausable_clock.h"
#include "render_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/wait.h>

using namespace korvane;
using namespace korvane::test;

namespace {

// Turns 100 ms apart on the real clock; the keys of each turn come first.
struct Turns final : EventSource, TickSource {
  std::map<int, std::vector<WindowEvent::Kind>> keys;
  int turn = 0;
  std::size_t next = 0;
  std::uint32_t now = 0;
  bool poll(WindowEvent &event) override {
    if (next < keys[turn].size()) {
      event = WindowEvent{};
      event.kind = keys[turn][next++];
      return true;
    }
    ++turn;
    next = 0;
    now += 100;
    return false;
  }
  std::uint32_t tickCount() override { return now; }
};

void copyShowFiles(const fs::path &folder) {
  for (const char *name : {"floor.x", "gem.x", "env.png", "shadow.png",
                           "checker.png", "copper.jpg"})
    fs::copy_file(fs::path(KORVANE_SOURCE_DIR) / "show" / "Data" / name,
                  folder / "Data" / name);
}

std::string readAll(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const char *floorLayer = "<layer> type XFILE filename floor.x position 0 "
                         "-1.2 6 scale 1.5 1 1.5 ztest ENABLE zwrite ENABLE "
                         "</layer>\n";
const char *gemLayer =
    "<layer> type XFILE filename gem.x envmap SPHEREMAP2 env.png position "
    "1.2 0.3 5.5 scale 1 1 1 ztest ENABLE zwrite ENABLE <timeline> 0 rotation "
    "0 0 0 "
    "3000 rotation 0 3 1 </timeline> <shadow> filename shadow.png plane_a "
    "0 -1.19 0 plane_b 0 -1.19 1 plane_c 1 -1.19 0 light 0.5 1 0.3 "
    "</shadow> </layer>\n";
const char *pictureLayer =
    "<layer> type PICTURE filename checker.png size 2 2 position 0 0 5 "
    "scale 1 1 1 ztest DISABLE blend SRCALPHA INVSRCALPHA <timeline> 0 color "
    "255 255 "
    "255 128 0 position -1 0 5 3000 position 1 0.5 5 </timeline> </layer>\n";

std::string script(bool withGem) {
  return std::string("<demo> resolution 160 120\n<part> length 500 "
                     "backgroundcolor 90 0 0 ") +
         pictureLayer + "</part>\n<part> length 3000 backgroundcolor 0 0 60\n" +
         floorLayer + (withGem ? gemLayer : "") + pictureLayer + "</part>\n";
}

} // namespace

// S writes the frame for the show time into the show folder, at the
// show's size, never over an earlier still; the overlay says where for two
// seconds of real time, paused or not.
TEST(Authors, AStillIsTheRenderersPictureAtItsTime) {
  ShowRun run(script(true));
  copyShowFiles(run.folder);
  std::string error;
  run.player.adopt(run.player.loadShow(error));
  ASSERT_EQ(error, "");
  Turns turns;
  PausableClock clock(turns, run.clock);
  PlayerCore loop(run.player, clock, run.player.arcball);
  loop.hooks.still = [&run](const FrameRequest &frame) {
    return run.player.writeStill(frame);
  };
  std::vector<std::string> messages;
  loop.hooks.betweenFrames = [&] { messages.push_back(loop.message); };
  turns.keys[16] = {WindowEvent::Pause, WindowEvent::Still}; // at 1600
  turns.keys[17] = {WindowEvent::Still};
  turns.keys[40] = {WindowEvent::Escape};
  loop.run(turns);

  const fs::path first = run.folder / "still_1600.png";
  ASSERT_TRUE(fs::exists(first));
  ASSERT_TRUE(fs::exists(run.folder / "still_1600_2.png"));
  EXPECT_EQ(messages[17], "still_1600.png written in " + run.folder.string());
  EXPECT_EQ(messages[18].substr(0, 16), "still_1600_2.png");
  EXPECT_EQ(messages[37], messages[18]); // two seconds on
  EXPECT_EQ(messages[38], "");

  const std::string command = std::string("'") + KORVANE_RENDER + "' '" +
                              run.folder.string() + "' --out '" +
                              (run.folder / "out").string() +
                              "' --at 1600 >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string still = readAll(first);
  EXPECT_GT(still.size(), 1000u);
  EXPECT_EQ(still, readAll(run.folder / "out" / "at_1600.png"));
  // The second still is the same frame again.
  EXPECT_EQ(readAll(run.folder / "still_1600_2.png"), still);
}

// The blobs move on the show time, as the renderer's do: a still of a part
// with blobs is the renderer's picture at its time after a pause, a seek
// back or frame steps, whatever real time went by. The real clock starts
// far from 0, as the machine's does.
TEST(Authors, AStillOfBlobsIsTheRenderersPictureAfterPausesAndSeeks) {
  const std::string blobs =
      "<demo> resolution 160 120\n<part> length 500 backgroundcolor 90 0 0 "
      "</part>\n<part> length 3000 backgroundcolor 0 0 60 <layer> type BLOB "
      "filename env.png position 0 0 2.2 scale 1.3 1.3 1.3 blobsnum 3 "
      "<blobs> mul 0.45 0.2 0.1 type SPHERE mul -0.3 0.35 0.2 type CUBE mul "
      "0.1 -0.4 0.3 type SPHERE </blobs> </layer> </part>\n";
  using K = WindowEvent::Kind;
  const struct {
    const char *what;
    // By turn, 100 ms of real time apart; a turn's keys come before the
    // real clock moves on to its frame.
    std::map<int, std::vector<K>> keys;
    std::uint32_t ms; // the still's show time
  } cases[] = {
      {"paused, then played on",
       {{10, {K::Pause}}, {14, {K::Pause}}, {20, {K::Still}}},
       1700},
      {"a seek back", {{21, {K::Back}}, {25, {K::Still}}}, 1600},
      {"frame steps while paused",
       {{15, {K::Pause}},
        {16, {K::StepForward, K::StepForward, K::StepForward}},
        {18, {K::StepBack, K::Still}}},
       1533},
  };
  ShowRun run(blobs);
  copyShowFiles(run.folder);
  std::string error;
  run.player.adopt(run.player.loadShow(error));
  ASSERT_EQ(error, "");
  std::string times;
  for (const auto &c : cases) {
    Turns turns;
    turns.now = 7000;
    turns.keys = c.keys;
    turns.keys[turns.keys.rbegin()->first + 1] = {K::Escape};
    PausableClock clock(turns, run.clock);
    PlayerCore loop(run.player, clock, run.player.arcball);
    loop.hooks.still = [&run](const FrameRequest &frame) {
      return run.player.writeStill(frame);
    };
    loop.run(turns);
    EXPECT_TRUE(
        fs::exists(run.folder / ("still_" + std::to_string(c.ms) + ".png")))
        << c.what;
    times += (times.empty() ? "" : ",") + std::to_string(c.ms);
  }
  const std::string command = std::string("'") + KORVANE_RENDER + "' '" +
                              run.folder.string() + "' --out '" +
                              (run.folder / "out").string() + "' --at " +
                              times + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::set<std::string> pictures;
  for (const auto &c : cases) {
    const std::string ms = std::to_string(c.ms);
    const std::string still = readAll(run.folder / ("still_" + ms + ".png"));
    EXPECT_GT(still.size(), 1500u) << c.what;
    EXPECT_TRUE(still == readAll(run.folder / "out" / ("at_" + ms + ".png")))
        << c.what;
    pictures.insert(still);
  }
  // Only the blobs move in this part: they do, from time to time.
  EXPECT_EQ(pictures.size(), std::size(cases));
}

// A show played from an archive has its stills beside the archive.
TEST(Authors, AnArchivedShowsStillsGoBesideTheArchive) {
  ShowRun run("<demo> resolution 160 120 <part> length 1000 </part>", false,
              true);
  ASSERT_TRUE(run.render(250));
  EXPECT_EQ(run.player.writeStill(run.request),
            "still_250.png written in " + run.folder.string());
  EXPECT_TRUE(fs::exists(run.folder / "still_250.png"));
  // A link where the next still would go is passed over, never followed.
  fs::create_symlink(run.folder / "elsewhere.png",
                     run.folder / "still_250_2.png");
  EXPECT_EQ(run.player.writeStill(run.request),
            "still_250_3.png written in " + run.folder.string());
  EXPECT_FALSE(fs::exists(run.folder / "elsewhere.png"));
}

// A layer left out is not drawn, nor its shadow, and leaves no state: the
// frames are those of the script without it, frame after frame. Only the
// overlay's list of the part's layers tells them apart.
TEST(Authors, ALayerLeftOutDrawsAsTheScriptWithoutIt) {
  const std::uint32_t times[] = {600, 1500, 2600};
  auto frames = [&times](bool withGem, bool muted, bool listed) {
    ShowRun run(script(withGem));
    copyShowFiles(run.folder);
    std::string error;
    run.player.adopt(run.player.loadShow(error));
    if (muted)
      run.request.mutes.toggle(1, 1, 3);
    if (!listed)
      run.player.tools().font = nullptr;
    std::vector<std::string> out;
    for (std::uint32_t ms : times) {
      EXPECT_TRUE(run.render(ms));
      out.push_back(run.frame);
    }
    return out;
  };
  const std::vector<std::string> without = frames(false, false, false);
  const std::vector<std::string> all = frames(true, false, false);
  ASSERT_EQ(without.size(), 3u);
  EXPECT_TRUE(all[1] != without[1]); // the gem and its shadow show
  EXPECT_TRUE(frames(true, true, false) == without);

  // The list: drawn in its place only, a line for the part and each layer.
  const std::vector<std::string> listed = frames(true, true, true);
  int inside = 0, outside = 0;
  for (std::size_t i = 0; i < without[2].size(); i += 3) {
    const std::size_t y = i / 3 / 160;
    const bool differs = listed[2].compare(i, 3, without[2], i, 3) != 0;
    (y >= 64 && y < 128 ? inside : outside) += differs;
  }
  EXPECT_GT(inside, 100);
  EXPECT_EQ(outside, 0);
}
