// The <timeline> block: keys of four channels, and loops that repeat the
// keys between <loop> and </loop>.

#include "script/parser_values.h"

#include <cstring>
#include <string>

namespace korvane {
namespace {

std::int32_t wrappingAdd(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) +
                                   static_cast<std::uint32_t>(b));
}

// One timeline channel seen through its arrays, so that keys are stored and
// copied the same way whatever the value type (triples or colours).
struct Channel {
  const char *name;
  std::int32_t *times;
  float (*triples)[3];
  std::uint32_t *colors;
  std::int32_t &count;
  std::int64_t dropped = 0;

  void copyValue(int from, int to) {
    if (triples)
      std::memcpy(triples[to], triples[from], sizeof triples[to]);
    else
      colors[to] = colors[from];
  }
};

// A channel over its track, made empty first.
Channel tripleChannel(const char *name, TripleTrack &track) {
  track.makeRoom();
  return {name, track.times.get(), track.values.get(), nullptr, track.count};
}
Channel colorChannel(ColorTrack &track) {
  track.makeRoom();
  return {"color", track.times.get(), nullptr, track.values.get(), track.count};
}

class Timeline {
public:
  Timeline(ValueReader &values, Layer &layer);
  void startLoop();
  void endLoop();
  void readKey();
  // Reports what the block left undone, and sets the layer's key flags.
  void finish(int openedAt);

private:
  // Index at which the next key of `channel` goes, or -1 when it is full.
  int slotFor(Channel &channel, std::int32_t time);
  // Appends `repeats` copies of the channel's keys from `first` on.
  void repeat(Channel &channel, int first);
  void logCounts() const;

  ValueReader &values;
  ScriptReader &reader;
  Layer &layer;
  // In the order loops expand them and the log lists them.
  Channel channels[4];
  bool loopOpened = false;  // a <loop> was read in this block
  bool loopPending = false; // and its </loop> is still to come
  int loopLine = 0;
  std::int32_t period = 0, repeats = 0;
  std::int32_t marks[4] = {};
};

Timeline::Timeline(ValueReader &values, Layer &layer)
    : values(values), reader(values.reader),
      layer(layer), channels{tripleChannel("position", layer.positionkeys),
                             tripleChannel("rotation", layer.rotationkeys),
                             tripleChannel("scale", layer.scalekeys),
                             colorChannel(layer.colorkeys)} {
  // A second block replaces the keys of the first; its flags stay set.
  layer.hastimeline = 1;
}

void Timeline::logCounts() const {
  reader.logger.line("%d - %d - %d - %d", channels[0].count, channels[1].count,
                     channels[2].count, channels[3].count);
}

int Timeline::slotFor(Channel &channel, std::int32_t time) {
  if (channel.count >= maxKeys) {
    ++channel.dropped;
    return -1;
  }
  if (channel.count > 0 && time < channel.times[channel.count - 1])
    reader.problem(Problem::KeyOutOfOrder, reader.tokenline,
                   {channel.name, std::to_string(time),
                    std::to_string(channel.times[channel.count - 1])});
  channel.times[channel.count] = time;
  return channel.count++;
}

void Timeline::startLoop() {
  if (loopPending)
    reader.problem(Problem::LoopReplaced, reader.tokenline,
                   {std::to_string(loopLine)});
  loopLine = reader.tokenline;
  period = values.readInteger("<loop> period");
  repeats = values.readInteger("<loop> count");
  reader.logger.line("LoopStart %d - %d", period, repeats);
  logCounts();
  for (int c = 0; c < 4; ++c)
    marks[c] = channels[c].count;
  loopOpened = true;
  loopPending = true;
}

void Timeline::endLoop() {
  reader.logger.line("LoopEnd");
  logCounts();
  if (!loopOpened) {
    reader.problem(Problem::LoopEndWithoutLoop, reader.tokenline, {});
    return;
  }
  if (!loopPending)
    reader.problem(Problem::LoopEndRepeatsLoop, reader.tokenline, {});
  loopPending = false;
  for (int c = 0; c < 4; ++c)
    repeat(channels[c], marks[c]);
}

void Timeline::repeat(Channel &channel, int first) {
  const int n = channel.count - first;
  if (n <= 0 || repeats <= 0)
    return;
  // Bounded by the channel's capacity, whatever the repeat count.
  const std::int64_t wanted = static_cast<std::int64_t>(n) * repeats;
  std::int64_t appended = 0;
  for (std::int32_t r = 1; r <= repeats && channel.count < maxKeys; ++r) {
    // A shifted time beyond the int range wraps, as all of the script's
    // 32-bit arithmetic does.
    const auto shift = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(r) * static_cast<std::uint32_t>(period));
    for (int i = 0; i < n && channel.count < maxKeys; ++i, ++appended) {
      const int to = channel.count++;
      channel.times[to] = wrappingAdd(channel.times[first + i], shift);
      channel.copyValue(first + i, to);
    }
  }
  channel.dropped += wanted - appended;
  for (int k = first + 1; k < channel.count; ++k)
    if (channel.times[k] < channel.times[k - 1]) {
      reader.problem(Problem::LoopOutOfOrder, reader.tokenline, {channel.name});
      return;
    }
}

void Timeline::readKey() {
  // Its time, then the channel word and the channel's values.
  const int keyLine = reader.tokenline;
  if (!isScriptInteger(reader.token))
    reader.problem(Problem::NotAKeyTime, keyLine, {reader.token});
  const std::int32_t time = scriptInteger(reader.token);
  values.nextValue("key");
  if (tokenIs(reader, "color")) {
    const std::uint32_t color = values.readColor("color");
    const int slot = slotFor(channels[3], time);
    if (slot >= 0)
      layer.colorkeys.values[slot] = color;
    return;
  }
  for (int c = 0; c < 3; ++c) {
    Channel &channel = channels[c];
    if (!tokenIs(reader, channel.name))
      continue;
    float value[3];
    values.readReals(value, 3, channel.name);
    const int slot = slotFor(channel, time);
    if (slot >= 0)
      std::memcpy(channel.triples[slot], value, sizeof value);
    return;
  }
  reader.problem(Problem::UnknownChannel, keyLine, {reader.token});
}

void Timeline::finish(int openedAt) {
  if (loopPending)
    reader.problem(Problem::LoopNotClosed, loopLine, {});
  for (Channel &channel : channels)
    if (channel.dropped != 0)
      reader.problem(Problem::KeysDropped, openedAt,
                     {std::to_string(channel.dropped), channel.name,
                      std::to_string(maxKeys)});
  layer.haspositionkeys |= layer.positionkeys.count > 0;
  layer.hasscalekeys |= layer.scalekeys.count > 0;
  layer.hasrotationkeys |= layer.rotationkeys.count > 0;
  layer.hascolorkeys |= layer.colorkeys.count > 0;
}

} // namespace

void parseTimeline(ValueReader &values, Layer &layer) {
  ScriptReader &reader = values.reader;
  const int openedAt = reader.tokenline;
  Timeline timeline(values, layer);
  for (;;) {
    if (!reader.next()) {
      reader.problem(Problem::BlockNotClosed, openedAt, {"<timeline>"});
      break;
    }
    if (tokenIs(reader, "</timeline>"))
      break;
    if (tokenIs(reader, "<loop>"))
      timeline.startLoop();
    else if (tokenIs(reader, "</loop>"))
      timeline.endLoop();
    else
      timeline.readKey();
  }
  timeline.finish(openedAt);
}

} // namespace korvane
