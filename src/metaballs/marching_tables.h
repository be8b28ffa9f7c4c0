#pragma once

#include <cstdint>

namespace korvane {

// Cube corners in grid offsets (x, y, z) and the twelve edges, each from the
// corner interpolation starts at.
constexpr int cubeCorners[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1},
                                   {0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1}};
constexpr int cubeEdges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0},
                                  {4, 5}, {5, 6}, {6, 7}, {7, 4},
                                  {0, 4}, {1, 5}, {2, 6}, {3, 7}};

// Bit e is set when the corners of edge e lie on different sides, for the
// cube index whose bit i is set when corner i is outside.
struct EdgeTable {
  std::uint16_t entry[256] = {};
  constexpr EdgeTable() {
    for (int m = 0; m < 256; ++m)
      for (int e = 0; e < 12; ++e)
        if (((m >> cubeEdges[e][0]) & 1) != ((m >> cubeEdges[e][1]) & 1))
          entry[m] = static_cast<std::uint16_t>(entry[m] | (1u << e));
  }
};
inline constexpr EdgeTable edgeTable;

extern const std::int8_t triangleTable[256][16];

} // namespace korvane
