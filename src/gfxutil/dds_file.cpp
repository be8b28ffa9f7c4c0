#include "gfxutil/dds_file.h"

#include <algorithm>
#include <cstring>

namespace korvane {
namespace {

constexpr std::uint32_t fourCC(const char (&code)[5]) {
  return std::uint32_t(std::uint8_t(code[0])) |
         std::uint32_t(std::uint8_t(code[1])) << 8 |
         std::uint32_t(std::uint8_t(code[2])) << 16 |
         std::uint32_t(std::uint8_t(code[3])) << 24;
}

// The fields of the 124-byte header that decide the layout.
struct Header {
  std::uint32_t height, width, levels, caps2;
  std::uint32_t pixelflags, fourcc, bits, masks[4]; // red, green, blue, alpha
};

constexpr std::uint32_t hasAlpha = 0x1, hasFourCC = 0x4, isRgb = 0x40;
constexpr std::uint32_t cubeOrVolume = 0x200 | 0x200000;

std::uint32_t word(const std::uint8_t *p) {
  std::uint32_t value;
  std::memcpy(&value, p, 4);
  return value;
}

// Offsets from the start of the file, "DDS " included.
Header readHeader(const std::uint8_t *p) {
  Header h{};
  h.height = word(p + 12);
  h.width = word(p + 16);
  h.levels = word(p + 28);
  h.pixelflags = word(p + 80);
  h.fourcc = word(p + 84);
  h.bits = word(p + 88);
  for (int i = 0; i < 4; ++i)
    h.masks[i] = word(p + 92 + 4 * i);
  h.caps2 = word(p + 112);
  return h;
}

// A channel of a packed pixel scaled to 8 bits; 255 without a mask.
std::uint8_t channel(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0)
    return 255;
  int shift = 0;
  while (!((mask >> shift) & 1))
    ++shift;
  const std::uint32_t top = mask >> shift;
  const std::uint32_t value = (pixel & mask) >> shift;
  return static_cast<std::uint8_t>((std::uint64_t(value) * 255 + top / 2) /
                                   top);
}

void color565(std::uint16_t c, std::uint8_t *bgr) {
  const std::uint32_t r = c >> 11, g = (c >> 5) & 0x3F, b = c & 0x1F;
  bgr[0] = static_cast<std::uint8_t>(b << 3 | b >> 2);
  bgr[1] = static_cast<std::uint8_t>(g << 2 | g >> 4);
  bgr[2] = static_cast<std::uint8_t>(r << 3 | r >> 2);
}

// The colour half of a block: four colours from two, 2-bit indices. DXT1
// blocks whose first colour is not above the second have three colours
// and transparent black.
void colorBlock(const std::uint8_t *block, bool dxt1, std::uint8_t out[16][4]) {
  std::uint16_t c0, c1;
  std::memcpy(&c0, block, 2);
  std::memcpy(&c1, block + 2, 2);
  std::uint8_t palette[4][4] = {};
  color565(c0, palette[0]);
  color565(c1, palette[1]);
  palette[0][3] = palette[1][3] = palette[2][3] = palette[3][3] = 255;
  const bool four = !dxt1 || c0 > c1;
  for (int c = 0; c < 3; ++c) {
    const int a = palette[0][c], b = palette[1][c];
    if (four) {
      palette[2][c] = static_cast<std::uint8_t>((2 * a + b) / 3);
      palette[3][c] = static_cast<std::uint8_t>((a + 2 * b) / 3);
    } else {
      palette[2][c] = static_cast<std::uint8_t>((a + b) / 2);
      palette[3][c] = 0;
    }
  }
  if (!four)
    palette[3][3] = 0;
  const std::uint32_t bits = word(block + 4);
  for (int i = 0; i < 16; ++i)
    std::memcpy(out[i], palette[(bits >> (2 * i)) & 3], 4);
}

// The alpha half of a DXT5 block: eight values from two, 3-bit indices.
void alphaBlock(const std::uint8_t *block, std::uint8_t out[16][4]) {
  const int a0 = block[0], a1 = block[1];
  int values[8] = {a0, a1};
  for (int i = 2; i < 8; ++i)
    values[i] = a0 > a1  ? ((8 - i) * a0 + (i - 1) * a1) / 7
                : i < 6  ? ((6 - i) * a0 + (i - 1) * a1) / 5
                : i == 6 ? 0
                         : 255;
  std::uint64_t bits = 0;
  for (int i = 0; i < 6; ++i)
    bits |= std::uint64_t(block[2 + i]) << (8 * i);
  for (int i = 0; i < 16; ++i)
    out[i][3] = static_cast<std::uint8_t>(values[(bits >> (3 * i)) & 7]);
}

// Level bytes, when the rest of the file holds them, decoded into `bgra`.
bool decodeBlocks(const std::uint8_t *data, std::size_t size, int kind,
                  std::size_t width, std::size_t height,
                  std::vector<std::uint8_t> &bgra) {
  const std::size_t across = (width + 3) / 4;
  const std::size_t down = (height + 3) / 4;
  const std::size_t blockBytes = kind == 1 ? 8 : 16;
  if (size / blockBytes < across * down)
    return false;
  bgra.assign(width * height * 4, 0);
  for (std::size_t by = 0; by < down; ++by)
    for (std::size_t bx = 0; bx < across; ++bx) {
      const std::uint8_t *block = data + (by * across + bx) * blockBytes;
      std::uint8_t texels[16][4];
      colorBlock(block + (kind == 1 ? 0 : 8), kind == 1, texels);
      if (kind == 3)
        for (int i = 0; i < 16; ++i)
          texels[i][3] = static_cast<std::uint8_t>(
              ((block[i / 2] >> (4 * (i % 2))) & 0xF) * 17);
      else if (kind == 5)
        alphaBlock(block, texels);
      for (int i = 0; i < 16; ++i) {
        const std::size_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
        if (x < width && y < height)
          std::memcpy(&bgra[(y * width + x) * 4], texels[i], 4);
      }
    }
  return true;
}

bool decodeRgb(const std::uint8_t *data, std::size_t size, const Header &h,
               bool alpha, std::size_t width, std::size_t height,
               std::vector<std::uint8_t> &bgra) {
  const std::size_t bytes = h.bits / 8;
  const std::size_t pixels = width * height;
  if (size / bytes < pixels)
    return false;
  bgra.assign(pixels * 4, 0);
  const std::uint32_t alphaMask = alpha ? h.masks[3] : 0;
  for (std::size_t i = 0; i < pixels; ++i) {
    std::uint32_t pixel = 0;
    std::memcpy(&pixel, data + i * bytes, bytes);
    std::uint8_t *dst = &bgra[i * 4];
    dst[0] = channel(pixel, h.masks[2]);
    dst[1] = channel(pixel, h.masks[1]);
    dst[2] = channel(pixel, h.masks[0]);
    dst[3] = channel(pixel, alphaMask);
  }
  return true;
}

// The bytes one level of the layout takes.
std::uint64_t levelBytes(int kind, std::uint32_t bits, std::uint64_t width,
                         std::uint64_t height) {
  if (kind)
    return (width + 3) / 4 * ((height + 3) / 4) * (kind == 1 ? 8 : 16);
  return width * height * (bits / 8);
}

// The levels the header declares (a count of 0 is one level), and the bytes
// they take together; a file shorter than that is refused whole. Levels
// past 1x1 are 1x1 each.
struct LevelPlan {
  std::uint32_t count;
  std::uint32_t chain; // levels down to 1x1
  std::uint64_t bytes;
};

LevelPlan planLevels(const Header &h, int kind) {
  LevelPlan plan{std::max<std::uint32_t>(1, h.levels), 1, 0};
  for (std::uint32_t side = std::max(h.width, h.height); side > 1; side >>= 1)
    ++plan.chain;
  for (std::uint32_t n = 0; n < std::min(plan.count, plan.chain); ++n)
    plan.bytes += levelBytes(kind, h.bits, std::max(1u, h.width >> n),
                             std::max(1u, h.height >> n));
  if (plan.count > plan.chain)
    plan.bytes +=
        std::uint64_t(plan.count - plan.chain) * levelBytes(kind, h.bits, 1, 1);
  return plan;
}

// Why a header is refused, or an empty string with `kind` set (1, 3, 5:
// DXT blocks; 0: uncompressed).
std::string layoutRefusal(const Header &h, int &kind) {
  kind = 0;
  if (h.caps2 & cubeOrVolume)
    return "is a cube map or volume DDS file, not a flat picture";
  if (h.pixelflags & hasFourCC) {
    if (h.fourcc == fourCC("DXT1"))
      kind = 1;
    else if (h.fourcc == fourCC("DXT3"))
      kind = 3;
    else if (h.fourcc == fourCC("DXT5"))
      kind = 5;
    else {
      char code[5] = {};
      std::memcpy(code, &h.fourcc, 4);
      for (char &c : code)
        if (c && (c < 32 || c > 126))
          c = '?';
      return std::string("is a DDS file in a layout that cannot be read (") +
             code + ")";
    }
  } else if (!(h.pixelflags & isRgb) || (h.bits != 24 && h.bits != 32)) {
    return "is a DDS file in a layout that cannot be read (" +
           std::to_string(h.bits) + "-bit, not 24- or 32-bit RGB)";
  }
  return {};
}

} // namespace

bool decodeDds(const std::uint8_t *data, std::size_t size, Picture &out,
               std::uint64_t maxSide, std::uint64_t maxPixels,
               std::string &refusal, bool &oversized) {
  out = Picture{};
  oversized = false;
  refusal = "is not a picture that can be read";
  if (size < 128 || std::memcmp(data, "DDS ", 4) != 0 || word(data + 4) != 124)
    return false;
  const Header h = readHeader(data);
  if (h.width == 0 || h.height == 0)
    return false;
  if (h.width > maxSide || h.height > maxSide ||
      std::uint64_t(h.width) * h.height > maxPixels) {
    oversized = true;
    refusal = "is larger than the largest texture";
    return false;
  }
  int kind = 0;
  if (std::string why = layoutRefusal(h, kind); !why.empty()) {
    refusal = why;
    return false;
  }
  const LevelPlan plan = planLevels(h, kind);
  if (plan.bytes > size - 128) {
    refusal = "is cut short";
    return false;
  }
  out.width = static_cast<int>(h.width);
  out.height = static_cast<int>(h.height);
  out.alpha = kind != 0 || (h.pixelflags & hasAlpha);
  // A texture rounded up to powers of two has at most one level more than
  // the file's own chain; levels past that are never used.
  const std::uint32_t kept = std::min(plan.count, plan.chain + 1);
  std::size_t at = 128;
  for (std::uint32_t n = 0; n < kept; ++n) {
    const std::uint32_t w = std::max(1u, h.width >> n);
    const std::uint32_t v = std::max(1u, h.height >> n);
    std::vector<std::uint8_t> &bgra =
        n == 0 ? out.bgra
               : out.levels.emplace_back(PictureLevel{int(w), int(v), {}}).bgra;
    const bool whole =
        kind ? decodeBlocks(data + at, size - at, kind, w, v, bgra)
             : decodeRgb(data + at, size - at, h, out.alpha, w, v, bgra);
    if (!whole) {
      out = Picture{};
      refusal = "is cut short";
      return false;
    }
    at += static_cast<std::size_t>(levelBytes(kind, h.bits, w, v));
  }
  return true;
}

} // namespace korvane
