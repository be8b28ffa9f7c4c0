#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace korvane {

// A KTR mesh file: after a header of 28 bytes, a vertex count n and three
// sections of records: n positions, n texture coordinates and 4n weights.
// A file cut short keeps the whole records it holds, and no section after
// the one it ends in.
struct KtrFile {
  bool counted = false; // the file holds the vertex count
  std::uint32_t vertexcount = 0;
  std::vector<std::array<float, 3>> positions;
  std::vector<std::array<float, 2>> texcoords;
  struct Weight {
    std::int32_t index = 0;
    float u = 0, v = 0;
  };
  std::vector<Weight> weights;
  bool whole = false; // every record the count promises is there
};

KtrFile readKtr(std::string_view bytes);

} // namespace korvane
