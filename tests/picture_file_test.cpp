#include "device/device.h"
#include "gfxutil/media_path.h"
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
  for (int i = 0; i < w * h; ++i)
    out.insert(out.end(), {10, 20, 30, 64}); // BGRA
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

  const Picture targa = decoded(tga(2, 2));
  EXPECT_TRUE(targa.alpha);
  EXPECT_EQ(pixel(targa, 1, 1), (std::array<int, 4>{10, 20, 30, 64}));
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
