// The player's main loop, driven by scripted window events and ticks.

#include "base/clocks.h"
#include "player/main_loop.h"
#include "script_util.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace korvane;
using korvane::test::parseBoth;

namespace {

// Events for each turn of the loop; every drained turn moves the ticks on.
struct Script final : EventSource, TickSource {
  std::map<int, std::vector<WindowEvent::Kind>> events;
  int turn = 0;
  std::size_t next = 0;
  std::uint32_t now = 5000, step = 100;

  bool poll(WindowEvent &event) override {
    const auto &list = events[turn];
    if (next < list.size()) {
      event = WindowEvent{};
      event.kind = list[next++];
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
  OverlayState overlay;
  LayerRenderers renderers;
  Arcball arcball;

  // Parts of 1000 ms with the backgrounds 1, 2, 3, ...
  explicit Loop(int parts) {
    std::string text = "<demo>";
    for (int p = 1; p <= parts; ++p)
      text += " <part> length 1000 backgroundcolor 0 0 " + std::to_string(p) +
              " </part>";
    parsed = parseBoth(text);
  }
  LoopRun run(Script &script) {
    FrameContext frame{device, nullptr, timer, overlay, renderers};
    return runMainLoop(*parsed.show, frame, script, script, arcball);
  }
};

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
  loop.parsed =
      parseBoth("<demo> <part> length 1000 "
                "<layer> type XFILE <shadow> light 0 1 0 </shadow> "
                "<shadow> light 1 1 0 </shadow> </layer> "
                "<layer> type PICTURE </layer> <layer> type KTRFILE </layer> "
                "<layer> </layer> <layer> type XFILE </layer> "
                "<layer> type BLOB </layer> </part>");
  std::vector<std::string> drawn;
  for (int kind = 0; kind < layerTypeCount; ++kind)
    loop.renderers.byType[kind] = [&drawn, kind](Layer &layer, std::uint32_t) {
      drawn.push_back(std::to_string(kind) + "/" +
                      std::to_string(layer.shadowpass));
      return true;
    };
  Script script;
  script.events[0] = {WindowEvent::Escape};
  loop.run(script);
  EXPECT_EQ(drawn, (std::vector<std::string>{"1/0", "3/0", "1/0", "5/0", "1/1",
                                             "1/2"}));
}
