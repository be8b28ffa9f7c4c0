#include "script/parser_values.h"

#include "base/blend_value.h"

#include <cstring>

namespace korvane {
namespace {

const Word blendNames[] = {
    {"ZERO", BLEND_ZERO},
    {"ONE", BLEND_ONE},
    {"SRCCOLOR", BLEND_SRCCOLOR},
    {"INVSRCCOLOR", BLEND_INVSRCCOLOR},
    {"SRCALPHA", BLEND_SRCALPHA},
    {"INVSRCALPHA", BLEND_INVSRCALPHA},
    {"DESTALPHA", BLEND_DESTALPHA},
    {"INVDESTALPHA", BLEND_INVDESTALPHA},
    {"DESTCOLOR", BLEND_DESTCOLOR},
    {"INVDESTCOLOR", BLEND_INVDESTCOLOR},
    {"SRCALPHASAT", BLEND_SRCALPHASAT},
    {"BOTHSRCALPHA", BLEND_BOTHSRCALPHA},
    {"BOTHINVSRCALPHA", BLEND_BOTHINVSRCALPHA},
};

} // namespace

std::int32_t blendValue(const char *token) {
  for (const Word &word : blendNames)
    if (std::strcmp(token, word.name) == 0)
      return word.value;
  return -1;
}

bool ValueReader::nextValue(const char *what) {
  if (reader.next())
    return true;
  reader.problem(Problem::ValueMissing, reader.tokenline, {what});
  return false;
}

std::int32_t ValueReader::readInteger(const char *what) {
  if (nextValue(what) && !isScriptInteger(reader.token))
    reader.problem(Problem::NotAWholeNumber, reader.tokenline,
                   {reader.token, what});
  return scriptInteger(reader.token);
}

float ValueReader::readReal(const char *what) {
  if (nextValue(what) && !isScriptReal(reader.token))
    reader.problem(Problem::NotANumber, reader.tokenline, {reader.token, what});
  return scriptReal(reader.token);
}

void ValueReader::readReals(float *out, int n, const char *what) {
  for (int i = 0; i < n; ++i)
    out[i] = readReal(what);
}

void ValueReader::readFileName(char (&dest)[fileNameCapacity],
                               const char *what) {
  nextValue(what);
  const std::size_t length = std::strlen(reader.token);
  const std::size_t kept =
      length < fileNameCapacity ? length : fileNameCapacity - 1;
  std::memcpy(dest, reader.token, kept);
  dest[kept] = '\0';
  if (kept < length)
    reader.problem(Problem::NameCut, reader.tokenline,
                   {what, std::to_string(length), std::to_string(kept)});
}

void ValueReader::readSwitch(std::uint8_t &field, const char *what) {
  std::int32_t value = field;
  static const Word words[] = {{"ENABLE", 1}, {"DISABLE", 0}};
  readWord(value, words, what);
  field = static_cast<std::uint8_t>(value);
}

void ValueReader::readDepth(std::int32_t &field, const char *what) {
  static const Word words[] = {{"ENABLE", DEPTH_ENABLE},
                               {"DISABLE", DEPTH_DISABLE}};
  readWord(field, words, what);
}

std::uint32_t ValueReader::readColor(const char *what) {
  const auto red = static_cast<std::uint32_t>(readInteger(what));
  const auto green = static_cast<std::uint32_t>(readInteger(what));
  const auto blue = static_cast<std::uint32_t>(readInteger(what));
  const auto alpha = static_cast<std::uint32_t>(readInteger(what));
  // 32-bit arithmetic without masking: a component above 255 carries over.
  return ((alpha * 256u + red) * 256u + green) * 256u + blue;
}

void ValueReader::unknownToken(const char *block) const {
  if (loadparts)
    reader.problem(Problem::UnknownToken, reader.tokenline,
                   {reader.token, block});
}

void ValueReader::unknownValue(const char *what) const {
  reader.problem(Problem::UnknownValue, reader.tokenline, {reader.token, what});
}

} // namespace korvane
