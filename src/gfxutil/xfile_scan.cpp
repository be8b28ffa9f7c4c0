#include "gfxutil/xfile_scan.h"

#include <zlib.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace korvane {
namespace {

// One token as the scan needs it: a word, a number or a punctuation mark.
struct Token {
  enum Kind { End, Word, Number, Mark } kind = End;
  std::string text; // the word, or the mark
  std::uint64_t value = 0;
};

class TextTokens {
public:
  TextTokens(const std::uint8_t *p, const std::uint8_t *end) : p(p), end(end) {}
  Token next() {
    while (p < end) {
      const unsigned char c = *p;
      if (std::isspace(c)) {
        ++p;
      } else if (c == '#' || (c == '/' && p + 1 < end && p[1] == '/')) {
        while (p < end && *p != '\n')
          ++p;
      } else if (c == '"') {
        ++p;
        while (p < end && *p != '"')
          ++p;
        p += p < end;
        return {Token::Word, "\"", 0};
      } else if (std::isdigit(c) || c == '-' || c == '+' || c == '.') {
        Token number{Token::Number, "", 0};
        bool integer = true;
        for (; p < end &&
               (std::isalnum(*p) || *p == '.' || *p == '-' || *p == '+');
             ++p) {
          if (!std::isdigit(*p))
            integer = false;
          else if (integer && number.value < (1ull << 40))
            number.value = number.value * 10 + (*p - '0');
        }
        if (!integer)
          number.value = 0;
        return number;
      } else if (std::isalpha(c) || c == '_') {
        Token word{Token::Word, "", 0};
        while (p < end && (std::isalnum(*p) || *p == '_' || *p == '-'))
          word.text += static_cast<char>(*p++);
        return word;
      } else {
        ++p;
        return {Token::Mark, std::string(1, static_cast<char>(c)), 0};
      }
    }
    return {};
  }

private:
  const std::uint8_t *p, *end;
};

class BinaryTokens {
public:
  BinaryTokens(const std::uint8_t *p, const std::uint8_t *end, int floatSize)
      : p(p), end(end), floatsize(floatSize) {}
  bool broken = false;
  Token next() {
    if (pending > 0) { // the rest of an integer list
      --pending;
      return {Token::Number, "", 0};
    }
    std::uint16_t kind = 0;
    if (!take(&kind, 2))
      return {};
    std::uint32_t count = 0;
    switch (kind) {
    case 1: // name
    case 2: // string, then its two-byte terminator
      if (!take(&count, 4) || !has(count + (kind == 2 ? 2u : 0u)))
        return fail();
      {
        Token word{Token::Word, std::string(p, p + count), 0};
        p += count + (kind == 2 ? 2 : 0);
        return kind == 1 ? word : Token{Token::Word, "\"", 0};
      }
    case 3: { // integer
      std::uint32_t value = 0;
      if (!take(&value, 4))
        return fail();
      return {Token::Number, "", value};
    }
    case 5: // GUID
      return has(16) ? (p += 16, Token{Token::Mark, "<guid>", 0}) : fail();
    case 6: { // integer list: the first is returned, the rest pend
      std::uint32_t first = 0;
      if (!take(&count, 4) || count == 0 || !has(std::size_t(count) * 4))
        return fail();
      std::memcpy(&first, p, 4);
      p += std::size_t(count) * 4;
      pending = count - 1;
      return {Token::Number, "", first};
    }
    case 7: // float list
      if (!take(&count, 4) || !has(std::size_t(count) * floatsize))
        return fail();
      p += std::size_t(count) * floatsize;
      return {Token::Number, "", 0};
    case 0x0a:
      return {Token::Mark, "{", 0};
    case 0x0b:
      return {Token::Mark, "}", 0};
    case 0x1f:
      return {Token::Word, "template", 0};
    default:
      return {Token::Mark, "?", 0};
    }
  }

private:
  bool has(std::size_t n) const { return std::size_t(end - p) >= n; }
  bool take(void *out, std::size_t n) {
    if (!has(n))
      return false;
    std::memcpy(out, p, n);
    p += n;
    return true;
  }
  Token fail() {
    broken = true;
    return {};
  }
  const std::uint8_t *p, *end;
  int floatsize;
  std::uint32_t pending = 0;
};

// Mesh and MeshMaterialList blocks: the first number after the block's
// opening brace. Template definitions and references are passed over.
template <typename Tokens> XFileCounts countBlocks(Tokens &tokens) {
  XFileCounts counts;
  Token previous;
  for (Token token = tokens.next(); token.kind != Token::End;
       token = tokens.next()) {
    const bool mesh = token.kind == Token::Word && token.text == "Mesh";
    const bool list =
        token.kind == Token::Word && token.text == "MeshMaterialList";
    const bool definition =
        previous.kind == Token::Word && previous.text == "template";
    previous = token;
    if ((!mesh && !list) || definition)
      continue;
    Token after = tokens.next();
    if (after.kind == Token::Word)
      after = tokens.next(); // the block's name
    if (after.kind != Token::Mark || after.text != "{")
      continue;
    const Token first = tokens.next();
    if (first.kind != Token::Number)
      continue;
    if (mesh)
      counts.vertices += first.value;
    else
      counts.materiallist = true;
  }
  counts.read = true;
  return counts;
}

// MSZIP: blocks of the inflated size and the stored size (two bytes each),
// then "CK" and a deflate stream that may refer back to the block before.
bool inflateBlocks(const std::uint8_t *p, const std::uint8_t *end,
                   std::vector<std::uint8_t> &out) {
  constexpr std::size_t blockSize = 32786;
  // A block of a few bytes may inflate to a whole block: bounded, so that
  // a small file cannot claim all memory.
  constexpr std::size_t largest = std::size_t(1) << 28;
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
    return false;
  bool ok = true;
  while (ok && end - p >= 6 && out.size() <= largest) {
    std::uint16_t stored = 0;
    std::memcpy(&stored, p + 2, 2);
    if (stored < 2 || p[4] != 'C' || p[5] != 'K' ||
        std::size_t(end - p - 4) < stored) {
      ok = false;
      break;
    }
    const std::size_t before = out.size();
    out.resize(before + blockSize);
    stream.next_in = const_cast<Bytef *>(p + 6);
    stream.avail_in = stored - 2u;
    stream.next_out = out.data() + before;
    stream.avail_out = blockSize;
    const int result = inflate(&stream, Z_SYNC_FLUSH);
    ok = result == Z_OK || result == Z_STREAM_END;
    out.resize(before + blockSize - stream.avail_out);
    inflateReset(&stream);
    inflateSetDictionary(&stream, out.data() + before, out.size() - before);
    p += 4 + stored;
  }
  inflateEnd(&stream);
  return ok && out.size() <= largest;
}

} // namespace

XFileCounts scanXFile(const std::uint8_t *data, std::size_t size) {
  if (size < 16 || std::memcmp(data, "xof ", 4) != 0)
    return {};
  const std::string format(data + 8, data + 12);
  const int floatSize = std::memcmp(data + 12, "0064", 4) == 0 ? 8 : 4;
  const std::uint8_t *body = data + 16, *end = data + size;
  std::vector<std::uint8_t> inflated;
  if (format == "tzip" || format == "bzip") {
    // After the header, the whole inflated size (four bytes), then blocks.
    if (size < 20 || !inflateBlocks(data + 20, end, inflated))
      return {};
    body = inflated.data();
    end = inflated.data() + inflated.size();
  } else if (format != "txt " && format != "bin ") {
    return {};
  }
  if (format[0] == 't') {
    TextTokens tokens(body, end);
    return countBlocks(tokens);
  }
  BinaryTokens tokens(body, end, floatSize);
  XFileCounts counts = countBlocks(tokens);
  if (tokens.broken)
    return {};
  return counts;
}

} // namespace korvane
