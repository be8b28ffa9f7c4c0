#include "gfxutil/png_file.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

namespace korvane {

bool writePng(const std::string &path, int width, int height,
              const std::string &rgb) {
  if (width <= 0 || height <= 0 ||
      rgb.size() < static_cast<std::size_t>(width) * height * 3)
    return false;
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (!file)
    return false;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = png && info;
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  // libpng reports errors by long jump; nothing with a destructor lives
  // between here and the jump target.
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
  return std::fclose(file) == 0 && ok;
}

} // namespace korvane
