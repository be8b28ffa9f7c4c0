#pragma once

#include <cstdint>

namespace korvane {

// The shapes a metaball takes: a show's blob `type` names one, and the
// field sums each its own way. Any other value is a sphere.
enum BlobType : std::int32_t {
  BLOB_SPHERE = 0,
  BLOB_CUBE = 1,
  BLOB_TORUS = 2,
};

} // namespace korvane
