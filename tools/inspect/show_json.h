#pragma once

#include "animation/layer_transform.h"
#include "base/problems.h"
#include "playback/layer_kind.h"
#include "script/show.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace korvane {

// A float as the nearest double with 9 significant digits, so that the JSON
// text reads back to the same float32 and stays short.
double jsonFloat(float value);

// The show record as the inspect tool prints it: demo settings, the valid
// parts with their layers and keys, the log lines, the warnings and the
// problems with the media the script names.
nlohmann::json showToJson(const LoadedShow &show,
                          const std::vector<std::string> &log,
                          const std::vector<Report> &reports);

// A layer's sampled channels: position, scale, rotation and colour.
nlohmann::json sampleToJson(const LayerSample &sample);

// The 16 entries of a matrix, row by row, four to a line, each with 9
// significant digits.
std::string matrixText(const Matrix &matrix);

// One frame of a blob layer's surface, set up from the layer as its loader
// does, with the two tick readings: {"triangles": N, "vertices": [[x, y, z,
// nx, ny, nz], ...]} with 9 significant digits.
std::string blobFrameJson(const Layer &layer, std::uint32_t drift,
                          std::uint32_t phase);

} // namespace korvane
