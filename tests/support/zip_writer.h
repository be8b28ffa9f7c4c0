#pragma once

// Archives made by the tests with libzip, and their headers mended by hand
// to lie about an entry's size.

#include <zip.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace korvane::test {

struct ZipEntry {
  std::string name, bytes;
  bool link = false; // a Unix symbolic link
  bool stored = false;
};

inline bool writeZip(const std::string &path,
                     const std::vector<ZipEntry> &entries) {
  int code = 0;
  zip_t *zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (!zip)
    return false;
  for (const ZipEntry &entry : entries) {
    zip_source_t *source =
        zip_source_buffer(zip, entry.bytes.data(), entry.bytes.size(), 0);
    const zip_int64_t index =
        zip_file_add(zip, entry.name.c_str(), source, ZIP_FL_ENC_RAW);
    if (index < 0) {
      zip_source_free(source);
      zip_discard(zip);
      return false;
    }
    const auto i = static_cast<zip_uint64_t>(index);
    if (entry.stored)
      zip_set_file_compression(zip, i, ZIP_CM_STORE, 0);
    if (entry.link)
      zip_file_set_external_attributes(zip, i, 0, ZIP_OPSYS_UNIX,
                                       (S_IFLNK | 0777u) << 16);
  }
  return zip_close(zip) == 0;
}

// Sets the uncompressed size the headers give for `name`, in the local
// header and in the central directory.
inline void claimSize(const std::string &path, const std::string &name,
                      std::uint32_t size) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream read;
  read << in.rdbuf();
  std::string zip = read.str();
  auto u16 = [&zip](std::size_t at) {
    return std::size_t(std::uint8_t(zip[at])) |
           std::size_t(std::uint8_t(zip[at + 1])) << 8;
  };
  auto put = [&zip, size](std::size_t at) {
    for (int k = 0; k < 4; ++k)
      zip[at + k] = static_cast<char>(size >> (8 * k) & 0xFF);
  };
  for (std::size_t at = 0; at + 46 < zip.size(); ++at) {
    if (zip.compare(at, 4, "PK\3\4") == 0 &&
        zip.compare(at + 30, name.size(), name) == 0 &&
        u16(at + 26) == name.size())
      put(at + 22);
    if (zip.compare(at, 4, "PK\1\2") == 0 &&
        zip.compare(at + 46, name.size(), name) == 0 &&
        u16(at + 28) == name.size())
      put(at + 24);
  }
  std::ofstream(path, std::ios::binary) << zip;
}

} // namespace korvane::test
