#include "gfxutil/dds_file.h"

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
  std::uint32_t height, width, caps2;
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

bool decodeBlocks(const std::uint8_t *data, std::size_t size, int kind,
                  DdsPicture &out) {
  const std::size_t across = (std::size_t(out.width) + 3) / 4;
  const std::size_t down = (std::size_t(out.height) + 3) / 4;
  const std::size_t blockBytes = kind == 1 ? 8 : 16;
  if (size / blockBytes < across * down)
    return false;
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
        if (x < std::size_t(out.width) && y < std::size_t(out.height))
          std::memcpy(&out.bgra[(y * out.width + x) * 4], texels[i], 4);
      }
    }
  return true;
}

bool decodeRgb(const std::uint8_t *data, std::size_t size, const Header &h,
               DdsPicture &out) {
  const std::size_t bytes = h.bits / 8;
  const std::size_t pixels = std::size_t(out.width) * out.height;
  if (size / bytes < pixels)
    return false;
  const std::uint32_t alphaMask = out.alpha ? h.masks[3] : 0;
  for (std::size_t i = 0; i < pixels; ++i) {
    std::uint32_t pixel = 0;
    std::memcpy(&pixel, data + i * bytes, bytes);
    std::uint8_t *dst = &out.bgra[i * 4];
    dst[0] = channel(pixel, h.masks[2]);
    dst[1] = channel(pixel, h.masks[1]);
    dst[2] = channel(pixel, h.masks[0]);
    dst[3] = channel(pixel, alphaMask);
  }
  return true;
}

} // namespace

bool decodeDds(const std::uint8_t *data, std::size_t size, DdsPicture &out,
               std::uint64_t maxSide, std::uint64_t maxPixels,
               std::string &refusal, bool &oversized) {
  out = DdsPicture{};
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
  if (h.caps2 & cubeOrVolume) {
    refusal = "is a cube map or volume DDS file, not a flat picture";
    return false;
  }
  int kind = 0; // 1, 3, 5: DXT blocks; 0: uncompressed
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
      refusal = std::string("is a DDS file in a layout that cannot be read (") +
                code + ")";
      return false;
    }
  } else if (!(h.pixelflags & isRgb) || (h.bits != 24 && h.bits != 32)) {
    refusal = "is a DDS file in a layout that cannot be read (" +
              std::to_string(h.bits) + "-bit, not 24- or 32-bit RGB)";
    return false;
  }
  out.width = static_cast<int>(h.width);
  out.height = static_cast<int>(h.height);
  out.alpha = kind != 0 || (h.pixelflags & hasAlpha);
  out.bgra.assign(std::size_t(out.width) * out.height * 4, 0);
  const bool whole = kind ? decodeBlocks(data + 128, size - 128, kind, out)
                          : decodeRgb(data + 128, size - 128, h, out);
  if (!whole) {
    out = DdsPicture{};
    refusal = "is cut short";
    return false;
  }
  return true;
}

} // namespace korvane
