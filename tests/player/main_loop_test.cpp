// The player's main loop, driven by scripted window events and ticks.

#include "base/clocks.h"
#include "base/pausable_clock.h"
#include "player/main_loop.h"
#include "script_util.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

using namespace korvane;
using korvane::test::parseBoth;

namespace {

// Events for each turn of the loop; every drained turn moves the ticks on.
struct Script final : EventSource, TickSource {
  std::map<int, std::vector<WindowEvent::Kind>> events;
  std::map<int, std::vector<WindowEvent::Kind>> shifted;  // after `events`
  std::map<int, std::vector<WindowEvent::Kind>> repeated; // after those
  std::map<int, std::vector<WindowEvent>> more;           // last
  int turn = 0;
  std::size_t next = 0;
  std::uint32_t now = 5000, step = 100;

  bool poll(WindowEvent &event) override {
    const auto &list = events[turn];
    const auto &withShift = shifted[turn];
    const auto &again = repeated[turn];
    const std::size_t plain = list.size() + withShift.size();
    const std::size_t kinds = plain + again.size();
    if (next >= kinds && next < kinds + more[turn].size()) {
      event = more[turn][next++ - kinds];
      return true;
    }
    if (next < plain + again.size()) {
      event = WindowEvent{};
      event.shift = next >= list.size() && next < plain;
      event.repeat = next >= plain;
      event.kind = event.repeat  ? again[next - plain]
                   : event.shift ? withShift[next - list.size()]
                                 : list[next];
      ++next;
      return true;
    }
    ++turn;
    next = 0;
    now += step;
    return false;
  }
  std::uint32_t tickCount() override { return now; }
};

// Keeps the colour of every clear, which names the part drawn.
struct Clears final : DeviceBackend {
  std::vector<std::uint32_t> *colors;
  int *presents;
  Clears(std::vector<std::uint32_t> *c, int *p) : colors(c), presents(p) {}
  void clear(std::uint32_t, std::uint32_t color, float,
             std::uint32_t) override {
    colors->push_back(color & 0xFFFFFF);
  }
  void draw(const DeviceState &, std::uint32_t &dirty, PrimitiveType,
            std::uint32_t, std::uint32_t) override {
    dirty = 0;
  }
  void drawIndexed(const DeviceState &, std::uint32_t &dirty,
                   const std::uint32_t *, std::uint32_t,
                   std::uint32_t) override {
    dirty = 0;
  }
  void present() override { ++*presents; }
  bool hardwareVertexProcessing() const override { return true; }
  std::uint32_t maxTextureSize() const override { return 4096; }
};

struct Loop {
  std::vector<std::uint32_t> colors;
  int presents = 0;
  korvane::test::Parsed parsed;
  Device device{std::make_unique<Clears>(&colors, &presents)};
  VirtualClock clock;
  FrameTimer timer{clock};
  FrameTools tools{device, nullptr, timer};
  Arcball arcball;

  // Parts of 1000 ms with the backgrounds 1, 2, 3, ...
  explicit Loop(int parts) {
    std::string text = "<demo>";
    for (int p = 1; p <= parts; ++p)
      text += " <part> length 1000 backgroundcolor 0 0 " + std::to_string(p) +
              " </part>";
    parsed = parseBoth(text);
  }
  LoopRun run(Script &script);
};

// A stage over a show held elsewhere; a show adopted is its own.
struct TestStage final : Stage {
  TestStage(const LoadedShow &show, FrameTools &tools)
      : current(&show), frametools(tools) {}
  const LoadedShow &loaded() const override { return *current; }
  FrameTools &tools() override { return frametools; }
  void adopt(std::unique_ptr<LoadedShow> next) override {
    owned = std::move(next);
    current = owned.get();
  }
  const LoadedShow *current;
  FrameTools &frametools;
  std::unique_ptr<LoadedShow> owned;
};

LoopRun Loop::run(Script &script) {
  VirtualClock unused; // nothing pauses this loop
  PausableClock clock(script, unused);
  TestStage stage(*parsed.loaded, tools);
  PlayerCore core(stage, clock, arcball);
  return core.run(script);
}

// Each kind that draws records its number and pass instead, meshes
// casting a shadow for each shadow block.
struct Recorder final : LoadedLayer {
  Recorder(std::string &drawn, int kind) : drawn(drawn), kind(kind) {}
  void draw(const Layer &, const LayerPose &pose) override {
    drawn += " " + std::to_string(kind) + "/" + std::to_string(pose.pass);
  }
  int shadowPasses(const Layer &layer) const override {
    return kind == LAYER_XFILE ? static_cast<int>(shadowsOf(layer).size()) : 0;
  }
  std::string &drawn;
  int kind;
};

LayerKinds recordingKinds(std::string &drawn) {
  LayerKinds kinds;
  for (int kind : {LAYER_XFILE, LAYER_PICTURE, LAYER_AVIPICTURE, LAYER_BLOB})
    kinds.byType[kind].load = [&drawn, kind](const Layer &, const Logger &) {
      return std::make_unique<Recorder>(drawn, kind);
    };
  return kinds;
}

} // namespace

TEST(MainLoop, EscapeAndClosingEndTheLoopAfterTheTurnsFrame) {
  for (WindowEvent::Kind kind : {WindowEvent::Escape, WindowEvent::Quit}) {
    Loop loop(3);
    Script script;
    script.events[2] = {kind};
    const LoopRun run = loop.run(script);
    EXPECT_EQ(run.frames, 3u) << kind;
    EXPECT_EQ(loop.presents, 3) << kind;
    EXPECT_EQ(run.start, 5000u);
    EXPECT_EQ(run.end, 5300u);
  }
}

TEST(MainLoop, EverySpaceKeyDownSkipsOnePart) {
  // Space held down: the key's auto-repeat sends three key-downs before
  // the second frame.
  Loop loop(5);
  Script script;
  script.events[1] = {WindowEvent::Space, WindowEvent::Space,
                      WindowEvent::Space};
  script.events[2] = {WindowEvent::Escape};
  loop.run(script);
  EXPECT_EQ(loop.colors, (std::vector<std::uint32_t>{1, 4, 4}));
  // A skip from the last part ends the show at the next frame.
  Loop last(2);
  Script skips;
  skips.events[1] = {WindowEvent::Space, WindowEvent::Space};
  const LoopRun run = last.run(skips);
  EXPECT_EQ(run.frames, 2u);
  EXPECT_EQ(last.colors, (std::vector<std::uint32_t>{1}));
}

TEST(MainLoop, RunsToTheShowsEndAndAnEmptyShowEndsAtOnce) {
  Loop loop(2);
  Script script;
  const LoopRun run = loop.run(script);
  // Every drain moves the script's ticks on: 100, 200, ..., 1900 ms
  // drawn; the turn at 2000 finds no part and still counts.
  EXPECT_EQ(run.frames, 20u);
  EXPECT_EQ(loop.presents, 19);
  EXPECT_EQ(loop.colors.front(), 1u);
  EXPECT_EQ(loop.colors.back(), 2u);

  Loop empty(0);
  Script once;
  EXPECT_EQ(empty.run(once).frames, 1u);
  EXPECT_EQ(empty.presents, 0);
}

// What a frame draws, in order: every layer by its kind, then each enabled
// shadow of each mesh after all layers; KTR and typeless layers never.
TEST(MainLoop, AFrameDrawsLayersThenShadows) {
  Loop loop(0);
  std::string drawn;
  const LayerKinds kinds = recordingKinds(drawn);
  loop.parsed =
      parseBoth("<demo> <part> length 1000 "
                "<layer> type XFILE <shadow> light 0 1 0 </shadow> "
                "<shadow> light 1 1 0 </shadow> </layer> "
                "<layer> type PICTURE </layer> <layer> type KTRFILE </layer> "
                "<layer> </layer> <layer> type XFILE </layer> "
                "<layer> type BLOB </layer> </part>",
                &kinds);
  Script script;
  script.events[0] = {WindowEvent::Escape};
  loop.run(script);
  EXPECT_EQ(drawn, " 1/0 3/0 1/0 5/0 1/1 1/2");
}

namespace {

// The player's loop over a Loop's show, on a pausable clock over the
// script's ticks, keeping the show time of every turn and what the music
// was told.
struct Player {
  Loop &loop;
  Script script;
  VirtualClock unusedTimer;
  PausableClock clock{script, unusedTimer};
  TestStage stage{*loop.parsed.loaded, loop.tools};
  PlayerCore player{stage, clock, loop.arcball};
  std::vector<std::uint32_t> times; // the show time before each frame
  std::vector<std::string> music;

  explicit Player(Loop &loop) : loop(loop) {
    player.hooks.betweenFrames = [this] { times.push_back(player.showTime()); };
    player.hooks.seekMusic = [this](std::uint32_t ms) {
      music.push_back("seek " + std::to_string(ms));
    };
    player.hooks.pauseMusic = [this](bool paused) {
      music.push_back(paused ? "pause" : "resume");
    };
  }
  LoopRun run() { return player.run(script); }
};

using Strings = std::vector<std::string>;
using Times = std::vector<std::uint32_t>;

} // namespace

// Right and Left move the show time 1 s, 10 s with Shift, never before the
// start nor past the last millisecond; Home goes back to the start. The
// music is told every new show time.
TEST(PlayerCore, SeeksMoveTheShowTimeAndTheMusic) {
  Loop loop(3); // 3000 ms
  Player p(loop);
  p.script.events[1] = {WindowEvent::Forward};  // at 100: to 1100
  p.script.events[3] = {WindowEvent::Back};     // at 1300: to 300
  p.script.shifted[4] = {WindowEvent::Back};    // at 400: to 0
  p.script.events[6] = {WindowEvent::Home};     // at 200: to 0
  p.script.shifted[8] = {WindowEvent::Forward}; // at 200: to 2999
  const LoopRun run = p.run();
  EXPECT_EQ(p.times, (Times{100, 1200, 1300, 400, 100, 200, 100, 200, 3099}));
  EXPECT_EQ(p.music, (Strings{"seek 1100", "seek 300", "seek 0", "seek 0",
                              "seek 2999"}));
  // The last turn found the show ended.
  EXPECT_EQ(run.frames, 9u);
  EXPECT_EQ(loop.colors, (std::vector<std::uint32_t>{1, 2, 2, 1, 1, 1, 1, 1}));
}

// Space keeps its old meaning: the picture skips, the music runs on.
TEST(PlayerCore, SpaceSkipsThePictureOnly) {
  Loop loop(3);
  Player p(loop);
  p.script.events[1] = {WindowEvent::Space};
  p.script.events[2] = {WindowEvent::Escape};
  p.run();
  EXPECT_EQ(p.times, (Times{100, 1100, 1200}));
  EXPECT_TRUE(p.music.empty());
}

// P stops every clock the show reads: the same show time is drawn turn
// after turn, and the music pauses. P again goes on from there, the music
// told the show time first. The run's span stays real time.
TEST(PlayerCore, PauseHoldsTheShowTimeAndTheMusic) {
  Loop loop(3);
  Player p(loop);
  p.script.events[2] = {WindowEvent::Pause};
  p.script.events[4] = {WindowEvent::Forward}; // seeking while paused
  p.script.events[6] = {WindowEvent::Pause};
  p.script.events[7] = {WindowEvent::Escape};
  const LoopRun run = p.run();
  EXPECT_EQ(p.times, (Times{100, 200, 200, 200, 1200, 1200, 1300, 1400}));
  // Each seek while paused leaves the music paused, even music that had
  // played to its end and starts again to seek.
  EXPECT_EQ(p.music,
            (Strings{"pause", "seek 1200", "pause", "seek 1200", "resume"}));
  EXPECT_FALSE(p.player.paused());
  EXPECT_EQ(run.end - run.start, 800u);
  // Paused frames are drawn and presented all the same.
  EXPECT_EQ(loop.presents, 8);
}

// T shows both overlay texts where the script shows neither, then hides
// them, and the frame is drawn for what T chose.
TEST(PlayerCore, TShowsOrHidesBothOverlayTexts) {
  Loop loop(2);
  Player p(loop);
  EXPECT_EQ(p.player.overlaytexts, -1);
  p.script.events[1] = {WindowEvent::OverlayTexts};
  p.script.events[2] = {WindowEvent::Escape};
  p.run();
  EXPECT_EQ(p.player.overlaytexts, 1);

  Loop shown(0);
  shown.parsed = parseBoth("<demo> showtime ENABLE <part> length 100 </part>");
  Player q(shown);
  q.script.events[0] = {WindowEvent::OverlayTexts};
  q.script.events[1] = {WindowEvent::OverlayTexts, WindowEvent::OverlayTexts,
                        WindowEvent::Escape};
  q.run();
  EXPECT_EQ(q.player.overlaytexts, 0);
}

// For authors the show does not end: it waits, paused, on its last
// millisecond, until they quit.
TEST(PlayerCore, HeldAtTheEnd) {
  Loop loop(1);
  Player p(loop);
  p.player.holdAtEnd = true;
  p.script.events[13] = {WindowEvent::Escape};
  const LoopRun run = p.run();
  EXPECT_EQ(run.frames, 14u);
  EXPECT_EQ(p.times[8], 900u);
  EXPECT_EQ(p.times[9], 1000u); // the turn that found the end ...
  EXPECT_EQ(p.times[10], 999u); // ... drew 999 instead, and holds it
  EXPECT_EQ(p.times.back(), 999u);
  EXPECT_EQ(loop.presents, 14);
  EXPECT_EQ(p.music, (Strings{"seek 999", "pause"}));
}

// A show swapped in between frames plays on from the same show time, or
// from its last millisecond when it is shorter.
TEST(PlayerCore, ReplacedShowKeepsTheShowTime) {
  Loop loop(3);
  Loop longer(4), shorter(1);
  for (Part &part : longer.parsed.show->parts)
    part.backgroundcolor[1] = 9;
  Player p(loop);
  p.player.hooks.betweenFrames = [&] {
    p.times.push_back(p.player.showTime());
    if (p.times.size() == 3)
      p.player.replaceShow(std::move(longer.parsed.loaded));
    if (p.times.size() == 5) {
      p.script.now += 1500; // show time 2000: past the shorter show's end
      p.player.replaceShow(std::move(shorter.parsed.loaded));
    }
  };
  const LoopRun run = p.run();
  // 999 drawn at once, then the shorter show runs out.
  EXPECT_EQ(p.times, (Times{100, 200, 300, 400, 500, 1099}));
  EXPECT_EQ(run.frames, 6u);
  EXPECT_EQ(loop.colors, (std::vector<std::uint32_t>{1, 1, 0x901, 0x901, 1}));
  EXPECT_EQ(p.player.show().partnumber, 1);
  EXPECT_EQ(p.music, (Strings{"seek 999"}));
}

// The README's key table and `korvane --help` both come from one list.
TEST(MainLoop, TheKeyListIsTheReadmesTable) {
  std::ifstream readme(KORVANE_TESTS_DIR "/../README.md");
  std::vector<std::string> rows;
  bool inTable = false;
  for (std::string line; std::getline(readme, line);) {
    if (line == "| key | what it does |" || line == "|---|---|")
      inTable = true;
    else if (inTable && line.rfind("| ", 0) != 0)
      break;
    else if (inTable)
      rows.push_back(line);
  }
  std::vector<std::string> listed;
  for (const PlayerKey &key : playerKeys)
    listed.push_back(std::string("| ") + key.keys + " | " + key.does + " |");
  EXPECT_EQ(rows, listed);
  const std::string help = keyHelp();
  std::size_t start = 0, lines = 0;
  for (std::size_t end; (end = help.find('\n', start)) != std::string::npos;
       start = end + 1, ++lines)
    EXPECT_LE(end - start, 78u) << help.substr(start, end - start);
  EXPECT_EQ(help.rfind("  Escape        quit\n"), help.size() - 21);
  EXPECT_GT(lines, 7u);
  // The manual page has a paragraph for each key.
  std::ifstream page(KORVANE_TESTS_DIR "/../docs/man/korvane.1");
  const std::string man((std::istreambuf_iterator<char>(page)),
                        std::istreambuf_iterator<char>());
  for (const PlayerKey &key : playerKeys)
    EXPECT_NE(man.find(std::string("\n.B ") + key.keys + "\n"),
              std::string::npos)
        << key.keys;
}

// A held key sends auto-repeat key-downs: the switches (P, T, F) switch
// once, the skips and seeks go on.
TEST(PlayerCore, HeldKeysRepeatOnlySkipsAndSeeks) {
  struct Case {
    WindowEvent::Kind key;
    Times times;
    int fullscreens;
  };
  const Case cases[] = {
      {WindowEvent::Pause, {100, 100, 100, 100}, 0},
      {WindowEvent::OverlayTexts, {100, 200, 300, 400}, 0},
      {WindowEvent::Fullscreen, {100, 200, 300, 400}, 1},
      {WindowEvent::Forward, {100, 2200, 2300, 2400}, 0},
      {WindowEvent::Space, {100, 2100, 2200, 2300}, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.key);
    Loop loop(5);
    Player p(loop);
    int fullscreens = 0;
    p.player.hooks.toggleFullscreen = [&fullscreens] { ++fullscreens; };
    p.script.events[1] = {c.key};
    p.script.repeated[1] = {c.key}; // twice toggled would be back
    p.script.events[3] = {WindowEvent::Escape};
    p.run();
    EXPECT_EQ(p.times, c.times);
    EXPECT_EQ(fullscreens, c.fullscreens);
    EXPECT_EQ(p.player.paused(), c.key == WindowEvent::Pause);
    EXPECT_EQ(p.player.overlaytexts,
              c.key == WindowEvent::OverlayTexts ? 1 : -1);
  }
}

// The keys for authors, each case a run of turns 100 ms apart: what each
// frame drew ("show time: layer kind/pass ..."), and the stills asked for.
TEST(PlayerCore, AuthorsKeys) {
  auto key = [](WindowEvent::Kind kind, int layer = 0, bool shift = false,
                bool repeat = false) {
    WindowEvent event;
    event.kind = kind;
    event.layer = layer;
    event.shift = shift;
    event.repeat = repeat;
    return event;
  };
  const WindowEvent pause = key(WindowEvent::Pause),
                    ahead = key(WindowEvent::StepForward),
                    back = key(WindowEvent::StepBack),
                    still = key(WindowEvent::Still);
  using Turn = std::vector<WindowEvent>;
  struct Case {
    const char *what;
    std::map<int, Turn> turns;
    Strings frames;
    Strings stills = {};
  };
  const std::string all = "1/0 3/0 5/0 1/1";
  const Case cases[] = {
      {"stepping while paused, held keys repeating",
       {{1, {pause}},
        {2, {ahead}},
        {3, {ahead, key(WindowEvent::StepForward, 0, false, true)}},
        {4, {back}}},
       {"100:" + all, "100:" + all, "117:" + all, "150:" + all, "133:" + all,
        "133:" + all}},
      {"no steps while playing, none before the start",
       {{1, {ahead}},
        {2, Turn(13, back)},
        {3, {pause}},
        {4, Turn(20, back)},
        {5, {ahead}}},
       {"100:" + all, "200:" + all, "300:" + all, "300:" + all, "0:" + all,
        "17:" + all}},
      {"a layer and its shadow left out, then back",
       {{1, {key(WindowEvent::LayerKey, 1)}},
        {2, {key(WindowEvent::LayerKey, 1), key(WindowEvent::LayerKey, 3)}},
        {3, {key(WindowEvent::LayerKey, 7)}}},
       {"100:" + all, "200:3/0 5/0", "300:1/0 3/0 1/1", "400:1/0 3/0 1/1",
        "500:1/0 3/0 1/1", "600:1/0 3/0 1/1"}},
      {"one layer alone, then all again",
       {{1, {key(WindowEvent::LayerKey, 2, true)}},
        {2, {key(WindowEvent::LayerKey, 2, true, true)}},
        {3, {key(WindowEvent::LayerKey, 2, true)}}},
       {"100:" + all, "200:3/0", "300:3/0", "400:" + all, "500:" + all,
        "600:" + all}},
      {"each part its own",
       {{1, {key(WindowEvent::LayerKey, 1)}}, {2, {key(WindowEvent::Space)}}},
       {"100:" + all, "200:3/0 5/0", "1100:3/0", "1200:3/0", "1300:3/0",
        "1400:3/0"}},
      {"a still of the turn's frame, once while S is held",
       {{1, {still, key(WindowEvent::Still, 0, false, true)}},
        {3, {pause, still}}},
       {"100:" + all, "200:" + all, "300:" + all, "300:" + all, "300:" + all,
        "300:" + all},
       {"200", "300"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Loop loop(0);
    std::string drawn;
    const LayerKinds kinds = recordingKinds(drawn);
    loop.parsed = parseBoth("<demo> <part> length 1000 "
                            "<layer> type XFILE <shadow> light 0 1 0 "
                            "</shadow> </layer> <layer> type PICTURE "
                            "</layer> <layer> type BLOB </layer> </part> "
                            "<part> length 1000 <layer> type PICTURE "
                            "</layer> </part>",
                            &kinds);
    Player p(loop);
    Strings frames, stills;
    p.player.hooks.betweenFrames = [&] {
      if (!drawn.empty())
        frames.back() += ":" + drawn.substr(1);
      drawn.clear();
      frames.push_back(std::to_string(p.player.showTime()));
    };
    p.player.hooks.still = [&](const FrameRequest &frame) {
      stills.push_back(std::to_string(frame.showTime));
      return "still " + stills.back();
    };
    for (const auto &[turn, events] : c.turns)
      p.script.more[turn] = events;
    p.script.events[5].push_back(WindowEvent::Escape);
    p.run();
    frames.back() += ":" + drawn.substr(1);
    EXPECT_EQ(frames, c.frames);
    EXPECT_EQ(stills, c.stills);
  }
}
