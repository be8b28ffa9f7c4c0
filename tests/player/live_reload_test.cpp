// korvane --watch, driven by scripted turns of the player's loop and a
// stand-in for the file watch: the script read again takes over between
// frames at the same show time; a script that cannot be played leaves the
// show as it was and says why.

#include "base/pausable_clock.h"
#include "platform/sdl/inotify_watch.h"
#include "player/live_reload.h"
#include "problem_capture.h"
#include "render_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>
#include <type_traits>

using namespace korvane;
using namespace korvane::test;

namespace {

struct FakeWatch final : FileWatch {
  bool change = false;
  std::vector<std::vector<std::string>> lists;
  bool watch(const std::vector<std::string> &files, std::string &) override {
    lists.push_back(files);
    return true;
  }
  bool changed() override { return std::exchange(change, false); }
};

// Each drained turn moves the ticks on by `step` ms and calls `at` first.
struct Turns final : EventSource, TickSource {
  std::function<void(int)> at;
  int turn = 0;
  int last = 20; // Escape on this turn
  std::uint32_t now = 0, step = 100;
  bool poll(WindowEvent &event) override {
    if (turn == last) {
      event = WindowEvent{};
      event.kind = WindowEvent::Escape;
      last = -1;
      return true;
    }
    if (at)
      at(turn);
    ++turn;
    now += step;
    return false;
  }
  std::uint32_t tickCount() override { return now; }
};

std::string twoParts(int r, int g, int b) {
  const std::string color =
      std::to_string(r) + " " + std::to_string(g) + " " + std::to_string(b);
  return "<demo> resolution 160 120\n<part> length 1000 backgroundcolor " +
         color + " </part>\n<part> length 1000 backgroundcolor " + color +
         " </part>\n";
}

// A show run by the player's loop with live reload on a watch (the
// stand-in, or inotify's); each turn keeps the show time and the colour of
// the frame before it.
template <typename Watch> struct WatchedBy {
  ShowRun run;
  Watch watch;
  Turns turns;
  PausableClock clock{turns, run.clock};
  PlayerCore loop{run.player, clock, run.player.arcball};
  LiveReload reload{run.player, loop, watch, turns};
  std::vector<std::uint32_t> times;
  std::vector<int> reds;

  explicit WatchedBy(const std::string &script) : run(script) {
    loop.hooks.betweenFrames = [this] {
      if (!run.frame.empty())
        reds.push_back(run.at(80, 60).r);
      reload.betweenFrames();
      times.push_back(loop.showTime());
    };
  }
  void rewrite(const std::string &script) {
    std::ofstream(run.folder / "Data" / "mirl .script") << script;
    if constexpr (std::is_same_v<Watch, FakeWatch>)
      watch.change = true;
  }
};
using Watched = WatchedBy<FakeWatch>;

} // namespace

TEST(LiveReload, TheNewShowTakesOverBetweenFramesAtTheSameShowTime) {
  Watched w(twoParts(200, 0, 0));
  ASSERT_EQ(w.watch.lists.size(), 1u);
  const std::string data = (w.run.folder / "Data").string();
  EXPECT_EQ(w.watch.lists[0].front(), data + "/mirl .script");
  w.turns.at = [&w](int turn) {
    if (turn == 3)
      w.rewrite(twoParts(100, 0, 0) +
                "<part> length 500 <layer> type PICTURE filename b.png "
                "</layer> </part>\n");
  };
  w.turns.last = 7;
  w.loop.run(w.turns);
  EXPECT_EQ(w.reload.reloads(), 1);
  // The change at 400 ms is read once the files were quiet for 100 ms.
  EXPECT_EQ(w.times, (std::vector<std::uint32_t>{100, 200, 300, 400, 500, 600,
                                                 700, 800}));
  EXPECT_EQ(w.reds, (std::vector<int>{200, 200, 200, 200, 100, 100, 100}));
  // The files the new show names are watched from then on.
  ASSERT_EQ(w.watch.lists.size(), 2u);
  EXPECT_EQ(w.watch.lists[1], (std::vector<std::string>{data + "/mirl .script",
                                                        data + "/b.png"}));
}

TEST(LiveReload, AScriptThatCannotBePlayedKeepsTheShowAndSaysWhy) {
  Watched w(twoParts(200, 0, 0));
  const ReportedProblems &problems = w.run.problems;
  std::vector<std::string> notices;
  w.turns.at = [&](int turn) {
    notices.push_back(w.loop.notice);
    if (turn == 1)
      w.rewrite("<part> length 100 </part>");
    if (turn == 4)
      w.rewrite("<demo> resolution 160 120 // nothing to play\n");
    if (turn == 7) {
      std::filesystem::remove(w.run.folder / "Data" / "mirl .script");
      w.watch.change = true;
    }
    if (turn == 10)
      w.rewrite(twoParts(0, 0, 150));
  };
  w.turns.last = 13;
  w.loop.run(w.turns);
  EXPECT_EQ(w.reload.reloads(), 1);
  EXPECT_EQ(problems.count(Problem::ReloadRejected), 3);
  const std::string said = describe(problems.first(Problem::ReloadRejected));
  EXPECT_EQ(said, "Data/mirl .script not reloaded: it does not begin with "
                  "<demo>; the show plays on as it was");
  EXPECT_EQ(notices[3], said);
  EXPECT_NE(notices[6].find("it holds no part"), std::string::npos);
  EXPECT_NE(notices[9].find("it cannot be opened"), std::string::npos);
  // The old show played on throughout, and the good script cleared the
  // notice.
  EXPECT_EQ(w.reds[10], 200);
  EXPECT_EQ(w.reds.back(), 0);
  EXPECT_EQ(notices.back(), "");
  EXPECT_EQ(w.times.back(), 1400u);
}

// The notice is drawn at the top left, in its own colour, below where the
// overlay's two lines go.
TEST(LiveReload, TheNoticeIsDrawnInThePicture) {
  ShowRun run("<demo> resolution 320 120\n<part> length 1000 </part>");
  run.request.notice = "Data/mirl .script not reloaded";
  ASSERT_TRUE(run.render(10));
  int orange = 0, elsewhere = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 320; ++x) {
      const Rgb c = run.at(x, y);
      const bool lit = c.r > 150 && c.g > 40 && c.g < 150 && c.b < 120;
      (y >= 32 && y < 50 ? orange : elsewhere) += lit;
    }
  EXPECT_GT(orange, 30);
  EXPECT_EQ(elsewhere, 0);
}

// An editor's save is a burst of writes: one reload once it is quiet.
TEST(LiveReload, ABurstOfWritesMakesOneReload) {
  Watched w(twoParts(200, 0, 0));
  w.turns.step = 20;
  w.turns.at = [&w](int turn) {
    if (turn >= 2 && turn <= 6)
      w.rewrite(twoParts(100 + turn, 0, 0));
  };
  w.turns.last = 20;
  w.loop.run(w.turns);
  EXPECT_EQ(w.reload.reloads(), 1);
  EXPECT_EQ(w.reds.back(), 106);
}

// Reloading over and over frees what each show held: the device's
// textures stay as many as one show needs (the sanitizer build checks the
// rest of the memory).
TEST(LiveReload, TwoHundredReloadsHoldNoMoreThanOne) {
  Watched w(twoParts(200, 0, 0));
  const std::string picture =
      "<demo> resolution 160 120\n<part> length 100000 <layer> type PICTURE "
      "filename checker.png </layer> <layer> type BLOB blobsnum 1 <blobs> "
      "mul 0.3 0.3 0.3 type SPHERE </blobs> </layer> </part>\n";
  std::filesystem::copy_file(KORVANE_SOURCE_DIR "/show/Data/checker.png",
                             w.run.folder / "Data" / "checker.png");
  std::size_t first = 0;
  w.turns.at = [&](int turn) {
    if (turn % 2 == 0)
      w.rewrite(picture);
    if (turn == 3)
      first = w.run.player.backend()->textureCount();
  };
  w.turns.last = 400;
  w.loop.run(w.turns);
  EXPECT_EQ(w.reload.reloads(), 200);
  EXPECT_GT(first, 0u);
  EXPECT_EQ(w.run.player.backend()->textureCount(), first);
}

// The real inotify watch, with a hook on each side of its renewal.
struct RenewedWatch final : FileWatch {
  InotifyWatch inotify;
  std::function<void(bool renewed)> around;
  bool watch(const std::vector<std::string> &files,
             std::string &error) override {
    if (around)
      around(false);
    const bool ok = inotify.watch(files, error);
    if (around)
      around(true);
    return ok;
  }
  bool changed() override { return inotify.changed(); }
};

// Each slow reload sees a save at a random moment after it read the
// script: before it returns, before the watch is renewed or after; in
// place or as an editor's rename over the script. Every save shows in the
// picture, which a save whose change was lost would stop.
TEST(LiveReload, SavesDuringReloadsAreNeverLost) {
  WatchedBy<RenewedWatch> w(twoParts(0, 0, 0));
  const fs::path script = w.run.folder / "Data" / "mirl .script";
  std::mt19937 random(25);
  int saved = 0;
  unsigned moment = 3; // of the reload running: 0, 1 or 2
  auto save = [&](unsigned when) {
    if (when != moment || saved == 200)
      return;
    ++saved;
    const std::string text = twoParts(saved, 0, 0);
    if (random() % 2) {
      std::ofstream(script) << text;
    } else {
      std::ofstream(script.string() + ".swp") << text;
      fs::rename(script.string() + ".swp", script);
    }
  };
  w.reload.load = [&](std::string &why) {
    moment = random() % 3;
    std::unique_ptr<LoadedShow> next = w.run.player.loadShow(why);
    w.turns.now += 150; // slow: meshes are imported in a child
    save(0);
    return next;
  };
  w.watch.around = [&](bool renewed) { save(renewed ? 2 : 1); };
  std::set<int> shown;
  w.loop.holdAtEnd = true;
  w.turns.last = -1; // until the last save shows
  w.turns.at = [&](int turn) {
    if (!w.reds.empty())
      shown.insert(w.reds.back());
    if (turn == 1) {
      moment = 0;
      save(0);
    }
    if (saved == 200 && shown.count(200) && w.turns.last < 0)
      w.turns.last = turn + 1;
    if (turn == 4000)
      w.turns.last = turn + 1; // a save was lost: no use waiting
  };
  w.loop.run(w.turns);
  EXPECT_EQ(saved, 200);
  EXPECT_EQ(shown.size(), 201u); // the first show and every save
  EXPECT_EQ(w.reds.back(), 200);
}

// A show played from an archive is read again when the archive changes.
TEST(LiveReload, AShowInAnArchiveFollowsTheArchive) {
  ShowRun run(twoParts(200, 0, 0), false, true);
  FakeWatch watch;
  Turns turns;
  PausableClock clock{turns, run.clock};
  PlayerCore loop{run.player, clock, run.player.arcball};
  LiveReload reload{run.player, loop, watch, turns};
  loop.hooks.betweenFrames = [&reload] { reload.betweenFrames(); };
  ASSERT_EQ(watch.lists.size(), 1u);
  EXPECT_EQ(watch.lists[0], (std::vector<std::string>{run.archive()}));
  turns.at = [&](int turn) {
    if (turn == 2) {
      writeZip(run.archive(), {{"DATA\\Mirl .Script", twoParts(0, 0, 150)}});
      watch.change = true;
    }
  };
  turns.last = 6;
  loop.run(turns);
  EXPECT_EQ(reload.reloads(), 1);
  EXPECT_TRUE(near(run.at(80, 60), {0, 0, 150})) << describe(run.at(80, 60));
}

// What an author saves never ends the session: a save that cannot be
// played (as a file half written) is said and the show plays on; a Data
// folder replaced by a rename, in the same or another case, is followed,
// and so are the edits made in it afterwards.
TEST(LiveReload, HalfWrittenSavesAndReplacedDataFoldersKeepTheSession) {
  WatchedBy<InotifyWatch> w(twoParts(200, 0, 0));
  w.loop.holdAtEnd = true;
  const fs::path data = w.run.folder / "Data";
  auto folderWith = [&w](const char *name, const std::string &script) {
    fs::create_directory(w.run.folder / name);
    std::ofstream(w.run.folder / name / "mirl .script") << script;
  };
  struct Step {
    std::function<void()> save;
    const char *rejected; // why it is not played; null: it is
    int red;              // of the picture after it
  };
  const std::vector<Step> steps = {
      {[&] { w.rewrite(""); }, "it is empty", 200},
      {[&] { w.rewrite("<demo> <part> length 0 </part>"); },
       "no part has a length", 200},
      {[&] { w.rewrite("<demo> <part> backgroundcolor 9 0 0 </part>"); },
       "no part has a length", 200},
      {[&] { w.rewrite("<demo> <part> length 1000 backgroundcolor 9 0"); },
       "it ends early", 200},
      {[&] {
         folderWith("Data2", twoParts(50, 0, 0));
         fs::rename(data, w.run.folder / "Data_old");
         fs::rename(w.run.folder / "Data2", data);
       },
       nullptr, 50},
      {[&] { w.rewrite(twoParts(90, 0, 0)); }, nullptr, 90},
      {[&] {
         folderWith("Data3", twoParts(120, 0, 0));
         fs::remove_all(data);
         fs::rename(w.run.folder / "Data3", w.run.folder / "DATA");
       },
       nullptr, 120},
      {[&] {
         std::ofstream(w.run.folder / "DATA" / "mirl .script")
             << twoParts(150, 0, 0);
       },
       nullptr, 150},
  };
  const ReportedProblems &problems = w.run.problems;
  std::vector<int> reds;
  std::vector<std::string> notices;
  // A step every fourth turn; what it left is read just before the next.
  w.turns.at = [&](int turn) {
    const std::size_t step = std::size_t(turn / 4);
    if (turn % 4 == 3 && step < steps.size()) {
      reds.push_back(w.reds.back());
      notices.push_back(w.loop.notice);
    }
    if (turn % 4 == 0 && step < steps.size())
      steps[step].save();
  };
  w.turns.last = int(steps.size()) * 4;
  w.loop.run(w.turns);
  EXPECT_EQ(w.times.size(), steps.size() * 4 + 1); // never ended early
  ASSERT_EQ(reds.size(), steps.size());
  int rejected = 0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(reds[i], steps[i].red);
    if (steps[i].rejected) {
      ++rejected;
      EXPECT_NE(notices[i].find(steps[i].rejected), std::string::npos)
          << notices[i];
    } else {
      EXPECT_EQ(notices[i], "");
    }
  }
  EXPECT_EQ(problems.count(Problem::ReloadRejected), rejected);
  EXPECT_EQ(w.reload.reloads(), int(steps.size()) - rejected);
}

// Started on a script with nothing to play, the session says so and waits
// on a black frame; the first good save plays from its start.
TEST(LiveReload, AShowWithNothingToPlayWaitsForASave) {
  WatchedBy<InotifyWatch> w("<demo> resolution 160 120\n<part> </part>\n");
  w.loop.holdAtEnd = true;
  std::vector<std::string> notices;
  w.turns.at = [&](int turn) {
    notices.push_back(w.loop.notice);
    if (turn == 10)
      w.rewrite(twoParts(70, 0, 0));
  };
  w.turns.last = 14;
  w.loop.run(w.turns);
  EXPECT_EQ(w.times.size(), 15u);
  EXPECT_EQ(notices[5], "Data/mirl .script cannot be played: no part has a "
                        "length; waiting for it to be saved");
  EXPECT_EQ(w.run.problems.count(Problem::NothingToPlay), 1);
  EXPECT_EQ(w.reds[5], 0);
  EXPECT_EQ(w.reload.reloads(), 1);
  EXPECT_EQ(notices.back(), "");
  EXPECT_EQ(w.reds.back(), 70);
  EXPECT_LT(w.times.back(), 500u); // from the start, not 1500 ms in
}
