#include "script/reader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korvane {
namespace {

bool isSeparator(char c) { return static_cast<signed char>(c) <= 0x20; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the leading integer of `text` (sign included), 0 when none.
std::size_t integerPrefix(const char *text) {
  std::size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
  const std::size_t digits = i;
  while (isDigit(text[i]))
    ++i;
  return i > digits ? i : 0;
}

// Length of the leading decimal real of `text`, 0 when none.
std::size_t realPrefix(const char *text) {
  std::size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
  std::size_t mantissaDigits = 0;
  while (isDigit(text[i])) {
    ++i;
    ++mantissaDigits;
  }
  if (text[i] == '.') {
    ++i;
    while (isDigit(text[i])) {
      ++i;
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0)
    return 0;
  if (text[i] == 'e' || text[i] == 'E') {
    std::size_t j = i + 1;
    if (text[j] == '+' || text[j] == '-')
      ++j;
    if (isDigit(text[j])) {
      while (isDigit(text[j]))
        ++j;
      i = j;
    }
  }
  return i;
}

} // namespace

std::int32_t scriptInteger(const char *text) {
  const std::size_t length = integerPrefix(text);
  if (length == 0)
    return 0;
  const bool negative = text[0] == '-';
  std::size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
  std::uint32_t value = 0;
  for (; i < length; ++i)
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  if (negative)
    value = 0u - value;
  return static_cast<std::int32_t>(value);
}

float scriptReal(const char *text) {
  const std::size_t length = realPrefix(text);
  if (length == 0)
    return 0.0f;
  // Tokens are shorter than the buffer; strtod alone would also take hex,
  // "inf" and "nan", which the script form does not have.
  char number[tokenCapacity];
  const std::size_t copied = std::min(length, sizeof number - 1);
  std::memcpy(number, text, copied);
  number[copied] = '\0';
  return static_cast<float>(std::strtod(number, nullptr));
}

bool isScriptInteger(const char *text) {
  const std::size_t length = integerPrefix(text);
  return length > 0 && text[length] == '\0';
}

bool isScriptReal(const char *text) {
  const std::size_t length = realPrefix(text);
  return length > 0 && text[length] == '\0';
}

void ScriptReader::adopt(std::string_view source) {
  // Text-mode reading: CR LF becomes LF and a 0x1A byte ends the text.
  text = std::make_unique<char[]>(source.size() + 1);
  std::size_t size = 0;
  for (std::size_t i = 0; i < source.size(); ++i) {
    const char c = source[i];
    if (c == '\x1a')
      break;
    if (c == '\r' && i + 1 < source.size() && source[i + 1] == '\n')
      continue;
    text[size++] = c;
  }
  text[size] = '\0';
  cursor = text.get();
  end = text.get() + size;
  line = 1;
  tokenline = 0;
}

void ScriptReader::open(const char *name, const ShowFiles *files) {
  filename = name;
  // Read through the show's files: only a plain file of the show, never a
  // FIFO or device that would block or never end.
  std::string contents, why;
  if (!(files ? *files : diskFiles()).read(name, contents, why)) {
    contents.clear();
    problem(Problem::ScriptUnreadable, 0, {name, why});
  }
  adopt(contents);
}

void ScriptReader::openText(std::string_view source) {
  filename = "script";
  adopt(source);
}

void ScriptReader::advanceLines(const char *from, const char *to) {
  line += static_cast<int>(std::count(from, to, '\n'));
}

bool ScriptReader::next() {
  for (;;) {
    const char *start = cursor;
    while (cursor < end && isSeparator(*cursor))
      ++cursor;
    advanceLines(start, cursor);
    if (cursor >= end)
      return false;

    if (cursor[0] == '/' && cursor[1] == '/') {
      const char *lineEnd = static_cast<const char *>(
          std::memchr(cursor, '\n', static_cast<std::size_t>(end - cursor)));
      if (!lineEnd) {
        cursor = end;
        return false;
      }
      cursor = lineEnd + 1;
      ++line;
      continue;
    }

    if (cursor[0] == '/' && cursor[1] == '*') {
      const int openedAt = line;
      const char *close = nullptr;
      for (const char *p = cursor + 2; p + 1 < end; ++p) {
        if (p[0] == '*' && p[1] == '/') {
          close = p;
          break;
        }
      }
      if (!close) {
        problem(Problem::CommentNotClosed, openedAt, {});
        advanceLines(cursor, end);
        cursor = end;
        return false;
      }
      advanceLines(cursor, close);
      cursor = close + 2;
      continue;
    }

    // A token starts here. Only the bytes the previous token used need
    // clearing for the buffer to be all zero past the new terminator.
    const char *tokenStart = cursor;
    while (!isSeparator(*cursor))
      ++cursor;
    const std::size_t length = static_cast<std::size_t>(cursor - tokenStart);
    const std::size_t kept = std::min(length, tokenCapacity - 1);
    std::memcpy(token, tokenStart, kept);
    if (tokenlength > kept)
      std::memset(token + kept, 0, tokenlength - kept);
    token[kept] = '\0';
    tokenlength = kept;
    tokenline = line;
    if (kept < length)
      problem(Problem::TokenCut, line,
              {std::to_string(length), std::to_string(kept)});
    return true;
  }
}

void ScriptReader::close() {
  text.reset();
  cursor = nullptr;
  end = nullptr;
}

void ScriptReader::problem(
    Problem id, int atLine,
    std::initializer_list<std::string_view> arguments) const {
  if (quiet)
    logger.quietly(id, filename, atLine, arguments);
  else
    logger.report(id, filename, atLine, arguments);
}

} // namespace korvane
