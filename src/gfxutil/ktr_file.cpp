#include "gfxutil/ktr_file.h"

#include <algorithm>
#include <cstring>

namespace korvane {

KtrFile readKtr(std::string_view bytes) {
  KtrFile ktr;
  // The records start after a header of 28 bytes.
  std::size_t at = 28;
  bool whole = true;
  auto read = [&](void *out) {
    whole = whole && at <= bytes.size() && bytes.size() - at >= 4;
    if (whole) {
      std::memcpy(out, bytes.data() + at, 4);
      at += 4;
    }
    return whole;
  };
  // Room for the records the count claims, as far as the bytes hold them.
  auto room = [&](std::uint64_t count, std::size_t record) {
    const std::size_t left = at <= bytes.size() ? bytes.size() - at : 0;
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(count, left / record));
  };
  ktr.counted = read(&ktr.vertexcount);
  const std::uint32_t n = ktr.vertexcount;
  ktr.positions.reserve(room(n, 12));
  for (std::uint32_t i = 0; i < n && whole; ++i) {
    std::array<float, 3> v;
    if (read(&v[0]) && read(&v[1]) && read(&v[2]))
      ktr.positions.push_back(v);
  }
  ktr.texcoords.reserve(whole ? room(n, 8) : 0);
  for (std::uint32_t i = 0; i < n && whole; ++i) {
    std::array<float, 2> v;
    if (read(&v[0]) && read(&v[1]))
      ktr.texcoords.push_back(v);
  }
  ktr.weights.reserve(whole ? room(4ull * n, 12) : 0);
  for (std::uint64_t i = 0; i < 4ull * n && whole; ++i) {
    KtrFile::Weight w;
    if (read(&w.index) && read(&w.u) && read(&w.v))
      ktr.weights.push_back(w);
  }
  ktr.whole = whole;
  return ktr;
}

} // namespace korvane
