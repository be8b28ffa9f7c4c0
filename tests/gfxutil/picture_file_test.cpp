#include "base/media_path.h"
#include "device/device.h"
#include "gfxutil/picture_file.h"

#include "temp_folder.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace korvane;

namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes &out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8)
    out.push_back(static_cast<std::uint8_t>(v >> s));
}

void chunk(Bytes &out, const char *type, const Bytes &data) {
  put32(out, static_cast<std::uint32_t>(data.size()));
  Bytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  put32(out, static_cast<std::uint32_t>(
                 crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// A PNG of any colour type and depth from its raw rows.
Bytes png(int w, int h, int depth, int type, const Bytes &raw,
          const Bytes &palette = {}, const Bytes &transparency = {}) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes header;
  put32(header, static_cast<std::uint32_t>(w));
  put32(header, static_cast<std::uint32_t>(h));
  header.insert(header.end(), {static_cast<std::uint8_t>(depth),
                               static_cast<std::uint8_t>(type), 0, 0, 0});
  chunk(out, "IHDR", header);
  if (!palette.empty())
    chunk(out, "PLTE", palette);
  if (!transparency.empty())
    chunk(out, "tRNS", transparency);
  const std::size_t rowBytes = raw.size() / h;
  Bytes filtered;
  for (int y = 0; y < h; ++y) {
    filtered.push_back(0);
    filtered.insert(filtered.end(), raw.begin() + y * rowBytes,
                    raw.begin() + (y + 1) * rowBytes);
  }
  uLongf size = compressBound(static_cast<uLong>(filtered.size()));
  Bytes packed(size);
  compress(packed.data(), &size, filtered.data(),
           static_cast<uLong>(filtered.size()));
  packed.resize(size);
  chunk(out, "IDAT", packed);
  chunk(out, "IEND", {});
  return out;
}

Bytes jpeg(int w, int h) {
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char *buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(w);
  info.image_height = static_cast<JDIMENSION>(h);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  Bytes row(std::size_t(w) * 3);
  for (int x = 0; x < w; ++x) {
    row[3 * x] = 200;
    row[3 * x + 1] = 40;
    row[3 * x + 2] = 10;
  }
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

Bytes bmp(int w, int h) {
  const int rowBytes = (w * 3 + 3) & ~3;
  const std::uint32_t size = 54 + rowBytes * h;
  Bytes out(size, 0);
  auto le32 = [&](int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  out[0] = 'B';
  out[1] = 'M';
  le32(2, size);
  le32(10, 54);
  le32(14, 40);
  le32(18, static_cast<std::uint32_t>(w));
  le32(22, static_cast<std::uint32_t>(h)); // bottom row first
  out[26] = 1;
  out[28] = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t *p = &out[54 + y * rowBytes + x * 3];
      p[0] = 255; // blue
      p[1] =
          static_cast<std::uint8_t>(y == 0 ? 255 : 0); // the bottom row green
      p[2] = 0;
    }
  return out;
}

Bytes tga(int w, int h) {
  Bytes out(18, 0);
  out[2] = 2; // uncompressed true colour
  out[12] = static_cast<std::uint8_t>(w);
  out[14] = static_cast<std::uint8_t>(h);
  out[16] = 32;
  out[17] = 0x28; // top-left origin, 8 alpha bits
  out.resize(18 + 4 * std::size_t(w) * h);
  for (std::size_t i = 18; i < out.size(); i += 4) {
    out[i] = 10; // BGRA
    out[i + 1] = 20;
    out[i + 2] = 30;
    out[i + 3] = 64;
  }
  return out;
}

Picture decoded(const Bytes &bytes) {
  Picture picture;
  EXPECT_TRUE(decodePicture(bytes.data(), bytes.size(), picture));
  return picture;
}

// B, G, R, A of the pixel at (x, y).
std::array<int, 4> pixel(const Picture &p, int x, int y) {
  const std::uint8_t *q = &p.bgra[(std::size_t(y) * p.width + x) * 4];
  return {q[0], q[1], q[2], q[3]};
}

// A DDS file: the 128-byte header, then `data`. `fourcc` 0 means
// uncompressed RGB with the given bit count and masks.
Bytes dds(std::uint32_t w, std::uint32_t h, const char *fourcc,
          std::uint32_t bits, std::array<std::uint32_t, 4> masks, bool alpha,
          const Bytes &data, std::uint32_t caps2 = 0) {
  Bytes out(128, 0);
  auto at = [&out](std::size_t offset, std::uint32_t v) {
    std::memcpy(out.data() + offset, &v, 4);
  };
  std::memcpy(out.data(), "DDS ", 4);
  at(4, 124);
  at(8, 0x1007); // caps, height, width, pixel format
  at(12, h);
  at(16, w);
  at(76, 32);
  at(80, fourcc ? 0x4u : (0x40u | (alpha ? 0x1u : 0u)));
  if (fourcc)
    std::memcpy(out.data() + 84, fourcc, 4);
  at(88, bits);
  for (int i = 0; i < 4; ++i)
    at(92 + 4 * i, masks[i]);
  at(108, 0x1000);
  at(112, caps2);
  out.resize(128 + data.size());
  if (!data.empty())
    std::memcpy(out.data() + 128, data.data(), data.size());
  return out;
}

// A palette bitmap: the 40-byte header, `colors` palette entries (entry i
// is blue 10i, green 10i + 1, red 10i + 2), then `pixels` as stored.
Bytes paletteBmp(int w, int h, int bits, int compression, int colors,
                 const Bytes &pixels) {
  const std::uint32_t offset = 54 + 4 * static_cast<std::uint32_t>(colors);
  Bytes out(offset + pixels.size(), 0);
  std::copy(pixels.begin(), pixels.end(), out.begin() + offset);
  auto le32 = [&](int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  out[0] = 'B';
  out[1] = 'M';
  le32(2, offset + static_cast<std::uint32_t>(pixels.size()));
  le32(10, offset);
  le32(14, 40);
  le32(18, static_cast<std::uint32_t>(w));
  le32(22, static_cast<std::uint32_t>(h));
  out[26] = 1;
  out[28] = static_cast<std::uint8_t>(bits);
  le32(30, static_cast<std::uint32_t>(compression));
  le32(34, static_cast<std::uint32_t>(pixels.size()));
  le32(46, static_cast<std::uint32_t>(colors));
  for (int i = 0; i < colors; ++i)
    for (int c = 0; c < 3; ++c)
      out[54 + 4 * i + c] = static_cast<std::uint8_t>(10 * i + c);
  return out;
}

} // namespace

TEST(PictureFile, EveryKindDecodes) {
  // 8-bit RGBA, palette with transparency, grey, 16-bit RGB.
  const Picture rgba =
      decoded(png(2, 1, 8, 6, {255, 0, 0, 128, 0, 0, 255, 255}));
  EXPECT_EQ(rgba.width, 2);
  EXPECT_TRUE(rgba.alpha);
  EXPECT_EQ(pixel(rgba, 0, 0), (std::array<int, 4>{0, 0, 255, 128}));
  EXPECT_EQ(pixel(rgba, 1, 0), (std::array<int, 4>{255, 0, 0, 255}));

  const Picture palette =
      decoded(png(2, 2, 8, 3, {0, 1, 1, 0}, {10, 20, 30, 40, 50, 60}, {0}));
  EXPECT_TRUE(palette.alpha);
  EXPECT_EQ(pixel(palette, 1, 0), (std::array<int, 4>{60, 50, 40, 255}));
  EXPECT_EQ(pixel(palette, 0, 0), (std::array<int, 4>{30, 20, 10, 0}));

  const Picture grey = decoded(png(3, 1, 8, 0, {0, 100, 255}));
  EXPECT_FALSE(grey.alpha);
  EXPECT_EQ(pixel(grey, 1, 0), (std::array<int, 4>{100, 100, 100, 255}));

  const Picture deep =
      decoded(png(1, 1, 16, 2, {0xFF, 0xFF, 0x80, 0x00, 0, 0}));
  EXPECT_EQ(pixel(deep, 0, 0), (std::array<int, 4>{0, 128, 255, 255}));

  const Picture photo = decoded(jpeg(16, 8));
  EXPECT_EQ(photo.width, 16);
  EXPECT_EQ(photo.height, 8);
  EXPECT_FALSE(photo.alpha);
  const auto c = pixel(photo, 5, 5);
  EXPECT_NEAR(c[2], 200, 6);
  EXPECT_NEAR(c[1], 40, 6);
  EXPECT_NEAR(c[0], 10, 6);

  const Picture bitmap = decoded(bmp(3, 2));
  EXPECT_EQ(pixel(bitmap, 0, 1), (std::array<int, 4>{255, 255, 0, 255}));
  EXPECT_EQ(pixel(bitmap, 0, 0), (std::array<int, 4>{255, 0, 0, 255}));
  Bytes topDown = bmp(3, 2);
  topDown[22] = 0xFE; // height -2: the green row first is the top one
  std::fill(topDown.begin() + 23, topDown.begin() + 26, 0xFF);
  EXPECT_EQ(pixel(decoded(topDown), 0, 0),
            (std::array<int, 4>{255, 255, 0, 255}));

  const Picture targa = decoded(tga(2, 2));
  EXPECT_TRUE(targa.alpha);
  EXPECT_EQ(pixel(targa, 1, 1), (std::array<int, 4>{10, 20, 30, 64}));

  auto bytes = [](const std::string &text) {
    return Bytes(text.begin(), text.end());
  };
  const Picture portable =
      decoded(bytes(std::string("P6\n2 1\n255\n") + '\xff' + '\0' + '\0' +
                    '\0' + '\x80' + '\xff'));
  EXPECT_FALSE(portable.alpha);
  EXPECT_EQ(pixel(portable, 1, 0), (std::array<int, 4>{255, 128, 0, 255}));
  // A greymap with its own maximum, scaled to 255; 16-bit samples refused.
  const Bytes pgm = bytes(std::string("P5 # grey\n2 1 15\n") + '\x0f' + '\x05');
  EXPECT_EQ(pixel(decoded(pgm), 1, 0), (std::array<int, 4>{85, 85, 85, 255}));
  const Bytes deepPpm = bytes("P6\n1 1\n65535\n" + std::string(6, '\x80'));
  Picture refused;
  EXPECT_FALSE(decodePicture(deepPpm.data(), deepPpm.size(), refused));
}

TEST(PictureFile, DdsLayoutsDecodeOthersAreRefused) {
  // One DXT1 block: red 0xF800 and blue 0x001F, texels 0 to 3 taking the
  // four colours, the rest the first.
  const Bytes colors = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0, 0, 0};
  const Picture dxt1 = decoded(dds(4, 4, "DXT1", 0, {}, false, colors));
  EXPECT_TRUE(dxt1.alpha);
  EXPECT_EQ(pixel(dxt1, 0, 0), (std::array<int, 4>{0, 0, 255, 255}));
  EXPECT_EQ(pixel(dxt1, 1, 0), (std::array<int, 4>{255, 0, 0, 255}));
  EXPECT_EQ(pixel(dxt1, 2, 0), (std::array<int, 4>{85, 0, 170, 255}));
  EXPECT_EQ(pixel(dxt1, 3, 0), (std::array<int, 4>{170, 0, 85, 255}));
  EXPECT_EQ(pixel(dxt1, 3, 3), (std::array<int, 4>{0, 0, 255, 255}));
  // The first colour not above the second: three colours and transparency.
  const Bytes threeColors = {0x1F, 0x00, 0x00, 0xF8, 0xC0, 0, 0, 0};
  const Picture cut = decoded(dds(4, 4, "DXT1", 0, {}, false, threeColors));
  EXPECT_EQ(pixel(cut, 3, 0), (std::array<int, 4>{0, 0, 0, 0}));
  EXPECT_EQ(pixel(cut, 0, 0), (std::array<int, 4>{255, 0, 0, 255}));

  // DXT3: explicit 4-bit alpha, 0x3 for the first texel; a 2x2 picture
  // takes the top left of its block.
  Bytes dxt3Block = {0x03, 0, 0, 0, 0, 0, 0, 0};
  dxt3Block.insert(dxt3Block.end(), colors.begin(), colors.end());
  const Picture dxt3 = decoded(dds(2, 2, "DXT3", 0, {}, false, dxt3Block));
  EXPECT_EQ(dxt3.width, 2);
  EXPECT_EQ(pixel(dxt3, 0, 0), (std::array<int, 4>{0, 0, 255, 51}));
  EXPECT_EQ(pixel(dxt3, 1, 0)[3], 0);
  // DXT5: alphas 255 and 0 interpolated in sevenths; index 2 for texel 0.
  Bytes dxt5Block = {255, 0, 0x02, 0, 0, 0, 0, 0};
  dxt5Block.insert(dxt5Block.end(), colors.begin(), colors.end());
  const Picture dxt5 = decoded(dds(4, 4, "DXT5", 0, {}, false, dxt5Block));
  EXPECT_EQ(pixel(dxt5, 0, 0)[3], 218); // (6 * 255 + 0) / 7
  EXPECT_EQ(pixel(dxt5, 1, 0)[3], 255);

  // Uncompressed: 24-bit BGR, and 32-bit with alpha in the top byte.
  const Picture rgb =
      decoded(dds(2, 1, nullptr, 24, {0xFF0000, 0xFF00, 0xFF, 0}, false,
                  {1, 2, 3, 4, 5, 6}));
  EXPECT_FALSE(rgb.alpha);
  EXPECT_EQ(pixel(rgb, 1, 0), (std::array<int, 4>{4, 5, 6, 255}));
  const Picture rgba =
      decoded(dds(1, 1, nullptr, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
                  true, {10, 20, 30, 40}));
  EXPECT_TRUE(rgba.alpha);
  EXPECT_EQ(pixel(rgba, 0, 0), (std::array<int, 4>{10, 20, 30, 40}));

  // Refused, each with its reason.
  auto refusal = [](const Bytes &file) {
    Picture picture;
    std::string why;
    EXPECT_FALSE(decodePicture(file.data(), file.size(), picture, 16384, &why));
    EXPECT_TRUE(picture.bgra.empty());
    return why;
  };
  EXPECT_EQ(refusal(dds(4, 4, "ATI2", 0, {}, false, Bytes(16))),
            "is a DDS file in a layout that cannot be read (ATI2)");
  EXPECT_EQ(refusal(dds(4, 4, nullptr, 16, {0xF800, 0x7E0, 0x1F, 0}, false,
                        Bytes(32))),
            "is a DDS file in a layout that cannot be read (16-bit, not 24- "
            "or 32-bit RGB)");
  EXPECT_EQ(refusal(dds(4, 4, "DXT1", 0, {}, false, colors, 0x200)),
            "is a cube map or volume DDS file, not a flat picture");
  EXPECT_EQ(refusal(dds(8, 4, "DXT1", 0, {}, false, colors)), "is cut short");
  EXPECT_EQ(refusal(dds(100000, 4, "DXT1", 0, {}, false, colors)),
            "is larger than the largest texture");
  const Bytes whole = dds(4, 4, "DXT1", 0, {}, false, colors);
  EXPECT_EQ(refusal(Bytes(whole.begin(), whole.begin() + 60)),
            "is not a picture that can be read");
}

TEST(PictureFile, BrokenFilesFailCleanly) {
  const std::vector<Bytes> good = {png(4, 4, 8, 2, Bytes(48, 7)), jpeg(16, 16),
                                   bmp(4, 4), tga(4, 4)};
  for (const Bytes &file : good) {
    for (std::size_t cut : {std::size_t(0), std::size_t(3), std::size_t(10),
                            file.size() / 2, file.size() - 1}) {
      Picture picture;
      // Truncated: a failure (or, for formats that tolerate a short tail,
      // a picture of the stated size); never a crash.
      if (decodePicture(file.data(), cut, picture)) {
        EXPECT_EQ(picture.bgra.size(),
                  std::size_t(picture.width) * picture.height * 4);
      }
    }
  }
  Picture picture;
  const Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
  EXPECT_FALSE(decodePicture(text.data(), text.size(), picture));
  EXPECT_FALSE(decodePicture(nullptr, 0, picture));
  // A header that claims an enormous picture is refused before decoding.
  Bytes huge = png(1, 1, 8, 0, {0});
  huge[16] = 0x7F;
  EXPECT_FALSE(decodePicture(huge.data(), huge.size(), picture));
}

TEST(PictureFile, TexturesAndMediaPaths) {
  const korvane::test::TempFolder scratch;
  const fs::path root = scratch.path;
  fs::create_directories(root / "Textures" / "Sky");
  auto write = [](const fs::path &path, const Bytes &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  };
  write(root / "Textures" / "Sky" / "Clouds.PNG",
        png(8, 4, 8, 2, Bytes(96, 200)));
  write(root / "alpha.png", png(2, 2, 8, 6, Bytes(16, 100)));
  write(root / "wide.png", png(9000, 1, 8, 0, Bytes(9000, 1)));
  write(root / "broken.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10});

  // Written on Windows: backslashes and another case.
  const std::string windows = (root / "textures\\SKY\\clouds.png").string();
  EXPECT_EQ(resolveMediaPath(windows),
            (root / "Textures" / "Sky" / "Clouds.PNG").string());
  EXPECT_EQ(resolveMediaPath((root / "none.png").string()),
            (root / "none.png").string());
  EXPECT_EQ(resolveMediaPath(""), "");
  // Inside a folder, which an absolute name leaves aside.
  EXPECT_EQ(resolveMediaPath("textures\\SKY\\clouds.png", root.string()),
            (root / "Textures" / "Sky" / "Clouds.PNG").string());
  EXPECT_EQ(resolveMediaPath(windows, "/nowhere"),
            (root / "Textures" / "Sky" / "Clouds.PNG").string());
  // A show folder's own files, found in any case.
  fs::create_directories(root / "show" / "DATA");
  std::ofstream(root / "show" / "DATA" / "MIRL .Script");
  const ShowFolder show = findShowFolder((root / "show" / ".").string());
  EXPECT_EQ(show.root, (root / "show").string());
  EXPECT_EQ(show.script, (root / "show" / "DATA" / "MIRL .Script").string());
  EXPECT_EQ(show.log, (root / "show" / "DATA" / "debug.log").string());
  EXPECT_EQ(show.music, (root / "show" / "mirl .mp3").string());

  Device device(nullptr);
  auto texture = loadTextureFromFile(device, windows);
  ASSERT_TRUE(texture);
  EXPECT_EQ(texture->format(), D3DFMT_X8R8G8B8);
  EXPECT_EQ(texture->width(), 8u);
  EXPECT_EQ(texture->height(), 4u);
  EXPECT_EQ(texture->levelCount(), 4u);
  EXPECT_EQ(texture->pixels(3)[0], 200); // the 1x1 level averages to it
  auto alpha = loadTextureFromFile(device, (root / "alpha.png").string());
  ASSERT_TRUE(alpha);
  EXPECT_EQ(alpha->format(), D3DFMT_A8R8G8B8);

  std::string reason;
  EXPECT_FALSE(
      loadTextureFromFile(device, (root / "wide.png").string(), &reason));
  EXPECT_EQ(reason, "is larger than the largest texture");
  EXPECT_FALSE(
      loadTextureFromFile(device, (root / "broken.jpg").string(), &reason));
  EXPECT_EQ(reason, "is not a picture that can be read");
  EXPECT_FALSE(
      loadTextureFromFile(device, (root / "gone.png").string(), &reason));
  EXPECT_EQ(reason, "cannot be opened");
}

TEST(PictureFile, PaletteBitmapsPlainAndRunLengthEncoded) {
  struct Case {
    const char *what;
    Bytes file;
    std::vector<std::vector<int>> rows; // palette indices from the top; -1
                                        // black
  };
  const std::vector<Case> cases = {
      // Rows padded to four bytes, the bottom one first; nibbles high first.
      {"4-bit",
       paletteBmp(5, 2, 4, 0, 16, {0x12, 0x34, 0x50, 0, 0xAB, 0xCD, 0xE0, 0}),
       {{10, 11, 12, 13, 14}, {1, 2, 3, 4, 5}}},
      {"4-bit from the top",
       paletteBmp(3, -2, 4, 0, 16, {0x12, 0x30, 0, 0, 0x45, 0x60, 0, 0}),
       {{1, 2, 3}, {4, 5, 6}}},
      // Indices past the four entries the header declares are black.
      {"4-bit, short palette",
       paletteBmp(2, 1, 4, 0, 4, {0x29, 0, 0, 0}),
       {{2, -1}}},
      {"1-bit", paletteBmp(3, 1, 1, 0, 2, {0xA0, 0, 0, 0}), {{1, 0, 1}}},
      // A run cut at the row's end; an absolute run padded to a word; an
      // index past the palette; a move right; skipped texels black.
      {"RLE8",
       paletteBmp(4, 3, 8, 1, 4, {6, 1, 0, 0, 0, 3, 2, 3, 1, 0, 1,
                                  9, 0, 0, 0, 2, 1, 0, 2, 2, 0, 1}),
       {{-1, 2, 2, -1}, {2, 3, 1, -1}, {1, 1, 1, 1}}},
      // Alternating nibbles; an absolute run cut at the row's end still
      // takes all its bytes.
      {"RLE4",
       paletteBmp(4, 3, 4, 2, 16,
                  {5, 0x12, 0, 0, 0,    5,    0x12, 0x34, 0x50, 0,
                   0, 0,    0, 3, 0x31, 0x20, 1,    0x40, 0,    1}),
       {{3, 1, 2, 4}, {1, 2, 3, 4}, {1, 2, 1, 2}}},
      // A move past the top ends the picture.
      {"RLE8 moved out",
       paletteBmp(2, 2, 8, 1, 4, {0, 2, 0, 5}),
       {{-1, -1}, {-1, -1}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const Picture picture = decoded(c.file);
    ASSERT_EQ(picture.height, int(c.rows.size()));
    ASSERT_EQ(picture.width, int(c.rows[0].size()));
    EXPECT_FALSE(picture.alpha);
    for (int y = 0; y < picture.height; ++y)
      for (int x = 0; x < picture.width; ++x) {
        const int i = c.rows[y][x];
        EXPECT_EQ(
            pixel(picture, x, y),
            i < 0 ? (std::array<int, 4>{0, 0, 0, 255})
                  : (std::array<int, 4>{10 * i, 10 * i + 1, 10 * i + 2, 255}))
            << x << "," << y;
      }
  }
  // Data that ends before the last row, or inside an absolute run.
  for (const Bytes &pixels : {Bytes{2, 1}, Bytes{0, 4, 1, 2}}) {
    Picture picture;
    std::string why;
    const Bytes file = paletteBmp(2, 2, 8, 1, 4, pixels);
    EXPECT_FALSE(decodePicture(file.data(), file.size(), picture, 16384, &why));
    EXPECT_EQ(why, "is cut short");
  }
}
