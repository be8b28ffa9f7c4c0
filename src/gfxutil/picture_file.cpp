#include "gfxutil/picture_file.h"

#include "base/media_path.h"
#include "gfxutil/bmp_file.h"
#include "gfxutil/dds_file.h"
#include "gfxutil/picture_filter.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_NO_FAILURE_STRINGS
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmisleading-indentation"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace korvane {
namespace {

// Pictures beyond this many pixels are refused before any is decoded.
constexpr std::uint64_t maxPixels = 64ull * 1024 * 1024;

// The largest side the current decode accepts, and whether it refused.
thread_local std::uint64_t sideLimit = 16384;
thread_local bool refusedSize = false;

bool tooLarge(std::uint64_t w, std::uint64_t h) {
  if (w == 0 || h == 0)
    return true;
  refusedSize = w > sideLimit || h > sideLimit || w * h > maxPixels;
  return refusedSize;
}

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

// The library's own handler ends the process; this one jumps back.
void jpegFail(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError *>(info->err)->jump, 1);
}
void jpegQuiet(j_common_ptr, int) {}

// A damaged progressive file can hold any number of scans and keep the
// decoder busy for minutes; real pictures have a handful.
void jpegProgress(j_common_ptr info) {
  if (info->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > 200)
    jpegFail(info);
}
void jpegNoMessage(j_common_ptr) {}

// The buffers live in the caller, so that nothing this function changes
// after setjmp needs to survive the jump back.
bool decodeJpegWith(const std::uint8_t *data, std::size_t size, Picture &out,
                    std::vector<std::uint8_t> &row) {
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = jpegFail;
  error.manager.emit_message = jpegQuiet;
  error.manager.output_message = jpegNoMessage;
  jpeg_progress_mgr progress = {};
  progress.progress_monitor = jpegProgress;
  std::vector<std::uint8_t> *pixels = &out.bgra;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  info.progress = &progress;
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  if (tooLarge(info.image_width, info.image_height)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  const std::uint64_t w = info.output_width, h = info.output_height;
  if (tooLarge(w, h) || info.output_components != 3) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  pixels->assign(w * h * 4, 0);
  row.resize(w * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {row.data()};
    const unsigned y = info.output_scanline;
    if (jpeg_read_scanlines(&info, rows, 1) != 1)
      break;
    std::uint8_t *dst = pixels->data() + std::size_t(y) * w * 4;
    for (std::uint64_t x = 0; x < w; ++x) {
      dst[4 * x] = row[3 * x + 2];
      dst[4 * x + 1] = row[3 * x + 1];
      dst[4 * x + 2] = row[3 * x];
      dst[4 * x + 3] = 255;
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  out.width = static_cast<int>(w);
  out.height = static_cast<int>(h);
  out.alpha = false;
  return true;
}

struct PngSource {
  const std::uint8_t *data;
  std::size_t size, offset;
};

void pngRead(png_structp png, png_bytep out, png_size_t length) {
  auto *source = static_cast<PngSource *>(png_get_io_ptr(png));
  if (length > source->size - source->offset)
    png_error(png, "truncated");
  std::memcpy(out, source->data + source->offset, length);
  source->offset += length;
}

void pngWarning(png_structp, png_const_charp) {}
void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

bool decodeJpeg(const std::uint8_t *data, std::size_t size, Picture &out) {
  std::vector<std::uint8_t> row;
  return decodeJpegWith(data, size, out, row);
}

bool decodePngWith(const std::uint8_t *data, std::size_t size, Picture &out,
                   std::vector<png_bytep> &rows) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr,
                                           pngError, pngWarning);
  if (!png)
    return false;
  png_infop info = png_create_info_struct(png);
  PngSource source{data, size, 0};
  std::vector<std::uint8_t> *pixels = &out.bgra;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    return false;
  }
  png_set_read_fn(png, &source, pngRead);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info);
  const png_uint_32 h = png_get_image_height(png, info);
  if (tooLarge(w, h))
    png_error(png, "size");
  const int type = png_get_color_type(png, info);
  out.alpha =
      (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
  // Every kind of PNG as 8-bit BGRA.
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != std::size_t(w) * 4)
    png_error(png, "layout");
  pixels->assign(std::size_t(w) * h * 4, 0);
  rows.resize(h);
  for (png_uint_32 y = 0; y < h; ++y)
    rows[y] = pixels->data() + std::size_t(y) * w * 4;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  out.width = static_cast<int>(w);
  out.height = static_cast<int>(h);
  return true;
}

bool decodePng(const std::uint8_t *data, std::size_t size, Picture &out) {
  std::vector<png_bytep> rows;
  return decodePngWith(data, size, out, rows);
}

bool decodeStb(const std::uint8_t *data, std::size_t size, Picture &out) {
  if (size > 0x7FFFFFFF)
    return false;
  int w = 0, h = 0, channels = 0;
  const int length = static_cast<int>(size);
  // A bitmap stored from the top tells its height negated.
  if (!stbi_info_from_memory(data, length, &w, &h, &channels) || w <= 0 ||
      h == 0 || h == INT_MIN ||
      tooLarge(std::uint64_t(w), std::uint64_t(h < 0 ? -h : h)))
    return false;
  stbi_uc *rgba = stbi_load_from_memory(data, length, &w, &h, &channels, 4);
  if (!rgba)
    return false;
  out.width = w;
  out.height = h;
  out.alpha = channels == 4 || channels == 2;
  out.bgra.assign(std::size_t(w) * h * 4, 0);
  for (std::size_t i = 0; i < std::size_t(w) * h; ++i) {
    out.bgra[4 * i] = rgba[4 * i + 2];
    out.bgra[4 * i + 1] = rgba[4 * i + 1];
    out.bgra[4 * i + 2] = rgba[4 * i];
    out.bgra[4 * i + 3] = rgba[4 * i + 3];
  }
  stbi_image_free(rgba);
  return true;
}

// Portable pixmaps and greymaps, binary, 8 bits a sample (stb's reader
// overruns its buffer on 16-bit ones).
bool decodePnm(const std::uint8_t *data, std::size_t size, Picture &out) {
  std::size_t at = 2;
  auto number = [&](std::uint64_t &value) {
    while (at < size && (std::isspace(data[at]) || data[at] == '#')) {
      if (data[at] == '#')
        while (at < size && data[at] != '\n')
          ++at;
      else
        ++at;
    }
    value = 0;
    const std::size_t start = at;
    while (at < size && std::isdigit(data[at]) && at - start < 9)
      value = value * 10 + (data[at++] - '0');
    return at > start;
  };
  const int channels = data[1] == '6' ? 3 : 1;
  std::uint64_t w = 0, h = 0, top = 0;
  if (!number(w) || !number(h) || !number(top) || top == 0 || top > 255 ||
      at >= size || !std::isspace(data[at]) || tooLarge(w, h))
    return false;
  ++at;
  if ((size - at) / channels / w < h)
    return false;
  out.bgra.assign(w * h * 4, 255);
  for (std::size_t i = 0; i < w * h; ++i) {
    const std::uint8_t *p = data + at + i * channels;
    for (int c = 0; c < 3; ++c)
      out.bgra[4 * i + 2 - c] = static_cast<std::uint8_t>(std::min<unsigned>(
          255, (p[channels == 3 ? c : 0] * 255u + top / 2) / top));
  }
  out.width = static_cast<int>(w);
  out.height = static_cast<int>(h);
  out.alpha = false;
  return true;
}

} // namespace

bool decodePicture(const std::uint8_t *data, std::size_t size, Picture &picture,
                   std::uint32_t maxSide, std::string *refusal) {
  picture = Picture{};
  sideLimit = maxSide;
  refusedSize = false;
  std::string why = "is not a picture that can be read";
  bool ok = false;
  if (data && size >= 4) {
    if (data[0] == 0xFF && data[1] == 0xD8) {
      ok = decodeJpeg(data, size, picture);
    } else if (std::memcmp(data, "\x89PNG", 4) == 0) {
      ok = decodePng(data, size, picture);
    } else if (data[0] == 'P' && (data[1] == '5' || data[1] == '6')) {
      ok = decodePnm(data, size, picture);
    } else if (std::memcmp(data, "DDS ", 4) == 0) {
      ok = decodeDds(data, size, picture, maxSide, maxPixels, why, refusedSize);
    } else if (isPaletteBmp(data, size)) {
      ok = decodePaletteBmp(data, size, picture, maxSide, maxPixels, why,
                            refusedSize);
    } else {
      ok = decodeStb(data, size, picture); // BMP by its "BM", or TGA
    }
  }
  if (!ok)
    picture = Picture{};
  if (refusedSize)
    why = "is larger than the largest texture";
  if (refusal && !ok)
    *refusal = why;
  return ok;
}

namespace {

std::uint32_t powerOfTwoAbove(std::uint32_t side) {
  std::uint32_t power = 1;
  while (power < side && power < 0x80000000u)
    power <<= 1;
  return power;
}

// Each level the texture has: the picture's own level of that number where
// the file holds one, scaled onto the level's size with the triangle filter
// where the sizes differ; below the file's levels, the box filter of the
// level above.
void fillLevels(Texture &texture, const Picture &picture) {
  for (std::uint32_t n = 0; n < texture.levelCount(); ++n) {
    const std::uint32_t w = texture.width(n), h = texture.height(n);
    std::uint8_t *to = texture.lock(n);
    if (n <= picture.levels.size()) {
      const PictureLevel *own = n ? &picture.levels[n - 1] : nullptr;
      const auto fromWidth = std::uint32_t(own ? own->width : picture.width);
      const auto fromHeight = std::uint32_t(own ? own->height : picture.height);
      const std::uint8_t *from = own ? own->bgra.data() : picture.bgra.data();
      if (fromWidth == w && fromHeight == h)
        std::memcpy(to, from, std::size_t(w) * h * 4);
      else
        triangleFilter(from, fromWidth, fromHeight, to, w, h);
    } else {
      boxHalve(texture.pixels(n - 1), texture.width(n - 1),
               texture.height(n - 1), to, w, h);
    }
    texture.unlock(n);
  }
}

} // namespace

std::unique_ptr<Texture> loadTextureFromFile(Device &device,
                                             const std::string &name,
                                             std::string *reason,
                                             const ShowFiles &files) {
  auto fail = [&](const std::string &why) {
    if (reason)
      *reason = why;
    return std::unique_ptr<Texture>();
  };
  std::string bytes;
  ReadFailure failed;
  if (!files.read(name, bytes, failed)) {
    if (failed.why == noSuchFile)
      return fail("cannot be opened");
    std::string why = failed.what;
    why.append(": ").append(failed.why);
    return fail(why);
  }
  Picture picture;
  std::string refusal;
  const std::uint32_t largest = device.maxTextureSize();
  if (!decodePicture(reinterpret_cast<const std::uint8_t *>(bytes.data()),
                     bytes.size(), picture, largest, &refusal))
    return fail(refusal);
  // Each side rounded up to a power of two, as the utility library's
  // default size is.
  const std::uint32_t w = powerOfTwoAbove(std::uint32_t(picture.width));
  const std::uint32_t h = powerOfTwoAbove(std::uint32_t(picture.height));
  if (w > largest || h > largest || std::uint64_t(w) * h > maxPixels)
    return fail("is larger than the largest texture");
  auto texture = device.createTexture(
      w, h, 0, 0, picture.alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8,
      D3DPOOL_MANAGED);
  if (!texture)
    return fail("cannot be made into a texture");
  fillLevels(*texture, picture);
  return texture;
}

} // namespace korvane
