#include "gfxutil/bmp_file.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace korvane {
namespace {

constexpr std::uint32_t plain = 0, rle8 = 1, rle4 = 2;

std::uint32_t le16(const std::uint8_t *p) { return p[0] | p[1] << 8; }

std::uint32_t le32(const std::uint8_t *p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
         std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// The fields of the file and information headers that decide the layout.
struct Header {
  std::uint32_t infoSize, offset, bits, compression, colors;
  std::int64_t width, height; // height below zero: rows from the top
};

bool knownInfoSize(std::uint32_t size) {
  return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 ||
         size == 108 || size == 124;
}

bool readHeader(const std::uint8_t *data, std::size_t size, Header &h) {
  if (size < 18 || data[0] != 'B' || data[1] != 'M')
    return false;
  h.infoSize = le32(data + 14);
  if (!knownInfoSize(h.infoSize) || size < 14 + std::size_t(h.infoSize))
    return false;
  h.offset = le32(data + 10);
  if (h.infoSize == 12) { // the old core header: 16-bit sides, no options
    h.width = le16(data + 18);
    h.height = le16(data + 20);
    h.bits = le16(data + 24);
    h.compression = plain;
    h.colors = 0;
  } else {
    h.width = std::int32_t(le32(data + 18));
    h.height = std::int32_t(le32(data + 22));
    h.bits = le16(data + 28);
    h.compression = le32(data + 30);
    h.colors = le32(data + 46);
  }
  return true;
}

bool readsPalette(const Header &h) {
  const bool indexed = h.bits == 1 || h.bits == 2 || h.bits == 4 || h.bits == 8;
  return h.compression == rle8 || h.compression == rle4 ||
         (h.compression == plain && indexed);
}

using Palette = std::array<std::array<std::uint8_t, 4>, 256>;

// The entries the header declares (all that the index size can reach when
// it declares none), as BGRA; the rest black. False when the file ends
// inside them.
bool readPalette(const std::uint8_t *data, std::size_t size, const Header &h,
                 Palette &palette) {
  const std::uint32_t reach = h.compression == rle8   ? 256
                              : h.compression == rle4 ? 16
                                                      : 1u << h.bits;
  const std::uint32_t count = h.colors && h.colors < reach ? h.colors : reach;
  const std::size_t entry = h.infoSize == 12 ? 3 : 4;
  const std::size_t at = 14 + std::size_t(h.infoSize);
  if ((size - at) / entry < count)
    return false;
  palette.fill({0, 0, 0, 255});
  for (std::uint32_t i = 0; i < count; ++i)
    std::memcpy(palette[i].data(), data + at + i * entry, 3);
  return true;
}

void put(Picture &out, const Palette &palette, std::uint64_t x,
         std::uint64_t row, std::uint8_t index) {
  std::memcpy(&out.bgra[(row * std::uint64_t(out.width) + x) * 4],
              palette[index].data(), 4);
}

// Rows of indices padded to four bytes, from the bottom unless the height
// is negative.
bool decodePlain(const std::uint8_t *data, std::size_t size, const Header &h,
                 const Palette &palette, Picture &out) {
  const std::uint64_t w = std::uint64_t(out.width);
  const std::uint64_t rows = std::uint64_t(out.height);
  const std::uint64_t rowBytes = (w * h.bits + 31) / 32 * 4;
  if ((size - h.offset) / rowBytes < rows)
    return false;
  const std::uint32_t mask = (1u << h.bits) - 1;
  for (std::uint64_t r = 0; r < rows; ++r) {
    const std::uint8_t *line = data + h.offset + r * rowBytes;
    const std::uint64_t y = h.height < 0 ? r : rows - 1 - r;
    for (std::uint64_t x = 0; x < w; ++x) {
      const std::uint64_t bit = x * h.bits;
      const unsigned shift = 8 - h.bits - unsigned(bit % 8);
      put(out, palette, x, y, std::uint8_t((line[bit / 8] >> shift) & mask));
    }
  }
  return true;
}

// Run-length data: pairs of a count and an index (RLE4: two alternating
// indices), or a zero and an escape: 0 ends the row, 1 the picture, 2
// moves right and up by the next two bytes, 3 and more copy that many
// indices, padded to an even number of bytes. Rows go from the bottom;
// runs past the end of a row are cut there.
bool decodeRle(const std::uint8_t *data, std::size_t size, const Header &h,
               const Palette &palette, Picture &out) {
  const bool four = h.compression == rle4;
  const std::uint64_t w = std::uint64_t(out.width);
  const std::uint64_t rows = std::uint64_t(out.height);
  auto nibble = [four](std::uint8_t byte, unsigned i) {
    return four ? std::uint8_t(i % 2 ? byte & 15 : byte >> 4) : byte;
  };
  std::size_t at = h.offset;
  std::uint64_t x = 0, y = 0; // y counts rows from the bottom
  while (y < rows) {
    if (size - at < 2)
      return false;
    const unsigned count = data[at], value = data[at + 1];
    at += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count && x < w; ++i)
        put(out, palette, x++, rows - 1 - y, nibble(std::uint8_t(value), i));
    } else if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      if (size - at < 2)
        return false;
      x += data[at];
      y += data[at + 1];
      at += 2;
    } else {
      const std::size_t bytes = four ? (value + 1) / 2 : value;
      const std::size_t padded = bytes + bytes % 2;
      if (size - at < padded)
        return false;
      for (unsigned i = 0; i < value && x < w; ++i)
        put(out, palette, x++, rows - 1 - y,
            nibble(data[at + (four ? i / 2 : i)], i));
      at += padded;
    }
  }
  return true;
}

} // namespace

bool isPaletteBmp(const std::uint8_t *data, std::size_t size) {
  Header h;
  return readHeader(data, size, h) && readsPalette(h);
}

bool decodePaletteBmp(const std::uint8_t *data, std::size_t size, Picture &out,
                      std::uint64_t maxSide, std::uint64_t maxPixels,
                      std::string &refusal, bool &oversized) {
  out = Picture{};
  oversized = false;
  refusal = "is not a picture that can be read";
  Header h;
  if (!readHeader(data, size, h) || !readsPalette(h) || h.width <= 0 ||
      h.height == 0)
    return false;
  const std::uint64_t w = std::uint64_t(h.width);
  const std::uint64_t rows = std::uint64_t(h.height < 0 ? -h.height : h.height);
  if (w > maxSide || rows > maxSide || w * rows > maxPixels) {
    oversized = true;
    refusal = "is larger than the largest texture";
    return false;
  }
  Palette palette;
  if (!readPalette(data, size, h, palette) || h.offset >= size) {
    refusal = "is cut short";
    return false;
  }
  out.width = static_cast<int>(w);
  out.height = static_cast<int>(rows);
  out.bgra.assign(w * rows * 4, 0);
  for (std::size_t i = 3; i < out.bgra.size(); i += 4)
    out.bgra[i] = 255;
  const bool whole = h.compression == plain
                         ? decodePlain(data, size, h, palette, out)
                         : decodeRle(data, size, h, palette, out);
  if (!whole) {
    out = Picture{};
    refusal = "is cut short";
    return false;
  }
  return true;
}

} // namespace korvane
