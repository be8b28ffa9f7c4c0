#pragma once

#include "base/problems.h"
#include "base/show_files.h"
#include "device/device.h"
#include "script/show.h"

#include <memory>
#include <string>

namespace korvane {

// What a layer's loader works with: the device its resources are made on,
// where its problems go, and the show's files, found by the names the
// script gives (the disk from the current folder when none are given).
struct LoadContext {
  Device &device;
  const Logger &logger;
  const ShowFiles &files = diskFiles();
};

// The depth states a layer asks for; a setting left out (0) leaves the
// device's value alone.
void setLayerDepth(Device &device, const Layer &layer);
// Blending when both factors are given, otherwise off.
// True when blending is on.
bool setLayerBlend(Device &device, const Layer &layer);
// A layer's texture from a picture file the script names; null when it
// cannot be loaded, which is reported as `problem`.
std::unique_ptr<Texture> loadLayerTexture(const LoadContext &load,
                                          const char *name, Problem problem);

} // namespace korvane
