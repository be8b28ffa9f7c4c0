#pragma once

// What a DirectX .x file says of its meshes, read from the file itself: the
// importer merges vertices and invents a material where a file has none,
// and the log must give the file's own counts.

#include <cstddef>
#include <cstdint>

namespace korvane {

struct XFileCounts {
  bool read = false;          // the file could be scanned
  std::uint64_t vertices = 0; // the sum of the Mesh blocks' vertex counts
  bool materiallist = false;  // some Mesh has a MeshMaterialList
};

// Scans text, binary and MSZIP-compressed files; `read` stays false for
// anything else or anything cut short.
XFileCounts scanXFile(const std::uint8_t *data, std::size_t size);

} // namespace korvane
