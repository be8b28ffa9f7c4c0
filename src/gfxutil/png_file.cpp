#include "gfxutil/png_file.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

namespace korvane {
namespace {

// libpng reports errors by long jump: nothing with a destructor lives
// between here and the jump target but the row list, made before it.
bool encodePng(std::FILE *file, int width, int height, const std::string &rgb) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = png && info;
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  if (ok && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width),
                 static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 3);
    for (int y = 0; y < height; ++y)
      rows[static_cast<std::size_t>(y)] =
          reinterpret_cast<png_bytep>(const_cast<char *>(rgb.data()) +
                                      static_cast<std::size_t>(y) * width * 3);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
  } else {
    ok = false;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  return ok;
}

} // namespace

bool writePng(const std::string &path, int width, int height,
              const std::string &rgb, std::string *why, WriteMode mode) {
  std::string failure;
  if (width <= 0 || height <= 0 ||
      rgb.size() < static_cast<std::size_t>(width) * height * 3)
    failure = "the picture is empty";
  OutputFile file;
  if (failure.empty())
    file = openOutputFile(path, mode, failure);
  if (file) {
    // Closed in any case; a failed close loses what was buffered.
    const bool encoded = encodePng(file.get(), width, height, rgb);
    const bool closed = std::fclose(file.release()) == 0;
    if (!encoded || !closed)
      failure = "the PNG cannot be written";
  }
  if (!failure.empty() && why)
    *why = failure;
  return failure.empty();
}

} // namespace korvane
