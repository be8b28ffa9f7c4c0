#pragma once

// What the block parsers share: reading a setting's values from the
// script's tokens and saying what is wrong with them, and the spare record
// a block past a table's capacity is read into.

#include "script/parser.h"
#include "script/reader.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korvane {

// A word a setting takes, and the value it stores.
struct Word {
  const char *name;
  std::int32_t value;
};

struct ValueReader {
  ValueReader(ScriptReader &reader, bool loadparts)
      : reader(reader), loadparts(loadparts) {}

  // The next token, false at the end of the text; a value missing there is
  // read from the token the reader kept, as every block does.
  bool nextValue(const char *what);
  std::int32_t readInteger(const char *what);
  float readReal(const char *what);
  void readReals(float *out, int n, const char *what);
  void readFileName(char (&dest)[fileNameCapacity], const char *what);
  // ENABLE and DISABLE: 1 and 0 for a switch, the depth settings' values
  // for ztest and zwrite; any other word leaves the field as it is.
  void readSwitch(std::uint8_t &field, const char *what);
  void readDepth(std::int32_t &field, const char *what);
  // One of `words`; any other leaves the field as it is.
  template <std::size_t N>
  void readWord(std::int32_t &field, const Word (&words)[N], const char *what) {
    nextValue(what);
    for (const Word &word : words)
      if (tokenIs(reader, word.name)) {
        field = word.value;
        return;
      }
    unknownValue(what);
  }
  // Red, green, blue and alpha, packed as ARGB.
  std::uint32_t readColor(const char *what);

  // The current token, which `block` has no setting of. Only the full pass
  // says so: the settings pass skips the parts.
  void unknownToken(const char *block) const;
  void unknownValue(const char *what) const;

  ScriptReader &reader;
  bool loadparts;
};

// Where the next record of a table goes: its slot, or past the capacity a
// spare that the block is read into and that is then forgotten, the drop
// reported at the block's line.
template <typename Record, std::size_t N>
Record &overCapacity(Record (&table)[N], int used, int capacity,
                     std::unique_ptr<Record> &spare, Problem dropped,
                     const ScriptReader &reader) {
  if (used < capacity && std::size_t(used) < N)
    return table[used];
  reader.problem(dropped, reader.tokenline, {std::to_string(capacity)});
  spare = std::make_unique<Record>();
  return *spare;
}

// The <timeline> block with its loops, into the layer's key arrays.
void parseTimeline(ValueReader &values, Layer &layer);

} // namespace korvane
