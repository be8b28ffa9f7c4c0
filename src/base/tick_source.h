#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace korvane {

// A millisecond tick count that wraps at 2^32. The player hands in the real
// one; offline rendering, tools and tests hand in readings of their own so
// that a frame can be reproduced.
class TickSource {
public:
  virtual ~TickSource() = default;
  virtual std::uint32_t tickCount() = 0;
};

// Hands out the given readings in turn, then repeats the last one.
class ScriptedTicks final : public TickSource {
public:
  ScriptedTicks(std::initializer_list<std::uint32_t> readings)
      : readings(readings) {}
  std::uint32_t tickCount() override {
    if (readings.empty())
      return 0;
    const std::uint32_t value = readings[next];
    if (next + 1 < readings.size())
      ++next;
    return value;
  }

private:
  std::vector<std::uint32_t> readings;
  std::size_t next = 0;
};

} // namespace korvane
