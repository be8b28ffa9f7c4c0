#pragma once

#include "base/problems.h"
#include "device/device.h"
#include "script/show.h"

#include <memory>

namespace korvane {

// The depth states a layer asks for; a setting left out (0) leaves the
// device's value alone.
void setLayerDepth(Device &device, const Layer &layer);
// Blending when both factors are given, otherwise off.
// True when blending is on.
bool setLayerBlend(Device &device, const Layer &layer);
// A layer's texture from a picture file the script names, found in
// `folder`; null when it cannot be loaded, which is reported as `problem`.
std::unique_ptr<Texture> loadLayerTexture(Device &device,
                                          const std::string &folder,
                                          const char *name, Problem problem);

} // namespace korvane
