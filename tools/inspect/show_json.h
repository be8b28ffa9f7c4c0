#pragma once

#include "script/show.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace korvane {

// A float as the nearest double with 9 significant digits, so that the JSON
// text reads back to the same float32 and stays short.
double jsonFloat(float value);

// The show record as the inspect tool prints it: demo settings, the valid
// parts with their layers and keys, the log lines and the warnings.
nlohmann::json showToJson(const Show &show, const std::vector<std::string> &log,
                          const std::vector<ScriptWarning> &warnings);

} // namespace korvane
