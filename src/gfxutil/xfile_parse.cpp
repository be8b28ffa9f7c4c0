#include "gfxutil/xfile_parse.h"

#include <zlib.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <utility>

namespace korvane {
namespace {

// A token of either encoding. Numbers come one at a time from text and as
// whole lists from binary files, read where they lie.
struct Token {
  enum Kind {
    End,
    Name,
    String,
    Numbers,
    Open,
    Close,
    Guid,
    Separator,
    Template,
    Other,
    Broken
  };
  Token(Kind kind = End, std::string text = {})
      : kind(kind), text(std::move(text)) {}
  Kind kind;
  std::string text;                   // a name or a string
  double number = 0;                  // a text number or a binary integer
  const std::uint8_t *list = nullptr; // a binary list: `count` items
  std::uint32_t count = 0;
  int width = 0; // 0: `number`; 4: DWORDs; -4, -8: floats, doubles
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
        const std::uint8_t *start = ++p;
        while (p < end && *p != '"')
          ++p;
        if (p == end)
          return {Token::Broken, "a string is not closed"};
        return {Token::String, std::string(start, p++)};
      } else if (c == '<') {
        while (p < end && *p != '>')
          ++p;
        if (p == end)
          return {Token::Broken, "a GUID is not closed"};
        ++p;
        return {Token::Guid};
      } else if (std::isdigit(c) || c == '-' || c == '+' ||
                 (c == '.' && p + 1 < end && std::isdigit(p[1]))) {
        return number();
      } else if (std::isalpha(c) || c == '_') {
        const std::uint8_t *start = p;
        while (p < end && (std::isalnum(*p) || *p == '_' || *p == '-'))
          ++p;
        std::string word(start, p);
        return {word == "template" ? Token::Template : Token::Name, word};
      } else {
        ++p;
        if (c == '{' || c == '}')
          return {c == '{' ? Token::Open : Token::Close};
        return {c == ',' || c == ';' ? Token::Separator : Token::Other};
      }
    }
    return {};
  }

private:
  Token number() {
    const std::uint8_t *start = p;
    while (p < end && (std::isalnum(*p) || *p == '.' || *p == '-' || *p == '+'))
      ++p;
    const std::string text(start, p);
    char *stop = nullptr;
    // The C locale's decimal point: nothing in the programs changes it.
    const double value = std::strtod(text.c_str(), &stop);
    if (stop != text.c_str() + text.size())
      return {Token::Broken, "\"" + text + "\" is not a number"};
    Token token{Token::Numbers};
    token.number = value;
    return token;
  }
  const std::uint8_t *p, *end;
};

class BinaryTokens {
public:
  BinaryTokens(const std::uint8_t *p, const std::uint8_t *end, int floatSize)
      : p(p), end(end), floatsize(floatSize) {}
  Token next() {
    std::uint16_t kind = 0;
    if (p == end)
      return {};
    if (!take(&kind, 2))
      return cut();
    std::uint32_t count = 0;
    switch (kind) {
    case 1: // a name
    case 2: // a string, then its separator token
      if (!take(&count, 4) || !has(std::size_t(count) + (kind == 2 ? 2 : 0)))
        return cut();
      {
        Token token{kind == 1 ? Token::Name : Token::String,
                    std::string(p, p + count)};
        p += std::size_t(count) + (kind == 2 ? 2 : 0);
        return token;
      }
    case 3: { // one DWORD
      std::uint32_t value = 0;
      if (!take(&value, 4))
        return cut();
      Token token{Token::Numbers};
      token.number = value;
      return token;
    }
    case 5:
      return has(16) ? (p += 16, Token{Token::Guid}) : cut();
    case 6: // a DWORD list
    case 7: // a float list
      if (!take(&count, 4))
        return cut();
      {
        const int width = kind == 6 ? 4 : -floatsize;
        if (!has(std::size_t(count) * std::size_t(std::abs(width))))
          return cut();
        Token token{Token::Numbers};
        token.list = p;
        token.count = count;
        token.width = width;
        p += std::size_t(count) * std::size_t(std::abs(width));
        return token;
      }
    case 0x0a:
      return {Token::Open};
    case 0x0b:
      return {Token::Close};
    case 0x13:
    case 0x14:
      return {Token::Separator};
    case 0x1f:
      return {Token::Template};
    default:
      // Brackets, dots and the type words of template declarations.
      if ((kind >= 0x0c && kind <= 0x12) || (kind >= 0x28 && kind <= 0x34))
        return {Token::Other};
      return {Token::Broken, "an unknown binary token"};
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
  static Token cut() { return {Token::Broken, "the file is cut short"}; }
  const std::uint8_t *p, *end;
  int floatsize;
};

void appendNumbers(const Token &token, std::vector<double> &out) {
  if (token.width == 0) {
    out.push_back(token.number);
    return;
  }
  const std::size_t step = std::size_t(std::abs(token.width));
  out.reserve(out.size() + token.count);
  for (std::uint32_t i = 0; i < token.count; ++i) {
    const std::uint8_t *item = token.list + i * step;
    if (token.width == 4) {
      std::uint32_t value;
      std::memcpy(&value, item, 4);
      out.push_back(value);
    } else if (token.width == -4) {
      float value;
      std::memcpy(&value, item, 4);
      out.push_back(value);
    } else {
      double value;
      std::memcpy(&value, item, 8);
      out.push_back(value);
    }
  }
}

// Builds the object tree from either token source.
template <typename Tokens> class TreeBuilder {
public:
  TreeBuilder(Tokens &tokens, XFile &file, int maxDepth)
      : tokens(tokens), file(file), maxdepth(maxDepth) {}

  bool build(std::string &error) {
    for (Token token = tokens.next(); token.kind != Token::End;
         token = tokens.next()) {
      bool ok = true;
      if (token.kind == Token::Template) {
        ok = skipTemplate();
      } else if (token.kind == Token::Name) {
        std::size_t index = 0;
        ok = object(std::move(token.text), 1, index);
        if (ok)
          file.top.push_back(index);
      } else if (token.kind != Token::Separator) {
        ok = fail(token, "something other than an object stands at the top");
      }
      if (!ok) {
        error = why;
        return false;
      }
    }
    return resolve(error);
  }

private:
  struct Reference {
    std::size_t parent, slot, before;
    std::string name;
  };

  bool fail(const Token &token, const char *otherwise) {
    why = token.kind == Token::Broken ? token.text
          : token.kind == Token::End  ? "the file is cut short"
                                      : otherwise;
    return false;
  }

  bool skipTemplate() {
    Token token = tokens.next();
    if (token.kind == Token::Name)
      token = tokens.next();
    if (token.kind != Token::Open)
      return fail(token, "a template declaration is malformed");
    for (int depth = 1; depth > 0;) {
      token = tokens.next();
      if (token.kind == Token::End || token.kind == Token::Broken)
        return fail(token, "");
      depth += token.kind == Token::Open    ? 1
               : token.kind == Token::Close ? -1
                                            : 0;
    }
    return true;
  }

  // The object whose type name was just read; its index in `index`.
  bool object(std::string type, int depth, std::size_t &index) {
    if (depth > maxdepth) {
      why = "objects are nested too deeply";
      return false;
    }
    index = file.objects.size();
    file.objects.push_back({});
    file.objects[index].type = std::move(type);
    Token token = tokens.next();
    if (token.kind == Token::Name) {
      file.objects[index].name = std::move(token.text);
      token = tokens.next();
    }
    if (token.kind != Token::Open)
      return fail(token, "an object's opening brace is missing");
    for (;;) {
      token = tokens.next();
      switch (token.kind) {
      case Token::Numbers:
        appendNumbers(token, file.objects[index].numbers);
        break;
      case Token::String:
        file.objects[index].strings.push_back(std::move(token.text));
        break;
      case Token::Separator:
      case Token::Guid:
        break;
      case Token::Close:
        return true;
      case Token::Name: {
        std::size_t child = 0;
        if (!object(std::move(token.text), depth + 1, child))
          return false;
        file.objects[index].children.push_back(child);
        break;
      }
      case Token::Open:
        if (!reference(index))
          return false;
        break;
      default:
        return fail(token, "an object holds something it cannot");
      }
    }
  }

  // `{ name }`, `{ name <guid> }` or `{ <guid> }` inside `parent`.
  bool reference(std::size_t parent) {
    std::string name;
    Token token = tokens.next();
    if (token.kind == Token::Name) {
      name = std::move(token.text);
      token = tokens.next();
    }
    if (token.kind == Token::Guid)
      token = tokens.next();
    if (token.kind != Token::Close || name.empty())
      return fail(token, "a reference is malformed or names no object");
    std::vector<std::size_t> &children = file.objects[parent].children;
    references.push_back(
        {parent, children.size(), file.objects.size(), std::move(name)});
    children.push_back(0);
    return true;
  }

  // Each reference names the first object of that name declared before
  // it, anywhere in the file, as the library's file reader resolves them.
  bool resolve(std::string &error) {
    for (const Reference &ref : references) {
      std::size_t found = 0;
      while (found < ref.before && file.objects[found].name != ref.name)
        ++found;
      if (found == ref.before) {
        error = "a reference names \"" + ref.name +
                "\", which no object before it is";
        return false;
      }
      file.objects[ref.parent].children[ref.slot] = found;
    }
    return true;
  }

  Tokens &tokens;
  XFile &file;
  int maxdepth;
  std::string why;
  std::vector<Reference> references;
};

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

bool isType(const XObject &object, const char *type) {
  return strcasecmp(object.type.c_str(), type) == 0;
}

bool readXFile(const std::uint8_t *data, std::size_t size, XFile &file,
               std::string &error, int maxDepth) {
  file = XFile{};
  if (size < 16 || std::memcmp(data, "xof ", 4) != 0) {
    error = "it is not a .x file";
    return false;
  }
  const std::string format(data + 8, data + 12);
  const int floatSize = std::memcmp(data + 12, "0064", 4) == 0 ? 8 : 4;
  const std::uint8_t *body = data + 16, *end = data + size;
  std::vector<std::uint8_t> inflated;
  if (format == "tzip" || format == "bzip") {
    // After the header, the whole inflated size (four bytes), then blocks.
    if (size < 20 || !inflateBlocks(data + 20, end, inflated)) {
      error = "its compressed data is broken";
      return false;
    }
    body = inflated.data();
    end = inflated.data() + inflated.size();
  } else if (format != "txt " && format != "bin ") {
    error = "its format \"" + format + "\" is not text, binary or compressed";
    return false;
  }
  bool ok;
  if (format[0] == 't') {
    TextTokens tokens(body, end);
    ok = TreeBuilder<TextTokens>(tokens, file, maxDepth).build(error);
  } else {
    BinaryTokens tokens(body, end, floatSize);
    ok = TreeBuilder<BinaryTokens>(tokens, file, maxDepth).build(error);
  }
  if (!ok)
    file = XFile{};
  return ok;
}

} // namespace korvane
