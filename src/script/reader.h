#pragma once

#include "base/problems.h"
#include "base/show_files.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

constexpr std::size_t tokenCapacity = 1024; // 1023 characters and the NUL

// Holds the whole script text and hands it out one token at a time. A token
// is a run of bytes 0x21..0x7F; everything else separates. Comments are
// skipped where a token could start.
struct ScriptReader {
  explicit ScriptReader(const Logger &logger) : logger(logger) {}
  ScriptReader(const ScriptReader &) = delete;
  ScriptReader &operator=(const ScriptReader &) = delete;

  char token[tokenCapacity] = {};
  std::unique_ptr<char[]> text;
  const char *cursor = nullptr;
  const char *end = nullptr;

  // Line of the current token, counted from 1.
  int tokenline = 0;
  // The script's name, for what is reported about it.
  std::string filename;
  // Problems are only logged, not reported, while quiet: a pass whose
  // reading the next pass repeats.
  bool quiet = false;
  // Where its problems go.
  const Logger &logger;

  // Reads the file as text (CR LF reads as LF, 0x1A ends the text). A file
  // that cannot be read gives an empty text and one log line naming it.
  // `files`: where the script lies; null for the disk.
  void open(const char *name, const ShowFiles *files = nullptr);
  // The same over text already in memory.
  void openText(std::string_view source);
  // True with the next token in `token`; false at the end of the text, with
  // `token` left holding the previous token.
  bool next();
  void close();

  // Reports a problem with the script at `line`.
  void problem(Problem id, int line,
               std::initializer_list<std::string_view> arguments) const;

private:
  void adopt(std::string_view source);
  void advanceLines(const char *from, const char *to);

  int line = 1;
  std::size_t tokenlength = 0;
};

// Whole-token equality with a keyword.
inline bool tokenIs(const ScriptReader &reader, std::string_view keyword) {
  return std::string_view(reader.token) == keyword;
}

// Integer the way the script reads it: optional sign, decimal digits, stops at
// the first other character, 0 when there is no number; wraps on overflow.
std::int32_t scriptInteger(const char *text);
// Real the way the script reads it: decimal form with optional fraction and
// exponent, 0 when there is no number, narrowed to float.
float scriptReal(const char *text);
// Whether the whole text is an integer, or a real, in the forms above.
bool isScriptInteger(const char *text);
bool isScriptReal(const char *text);

} // namespace korvane
