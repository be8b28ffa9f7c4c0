#pragma once

#include "base/problems.h"
#include "base/show_files.h"
#include "device/device.h"
#include "script/show.h"

#include <memory>
#include <string>

namespace korvane {

// What a layer's loader works with: the device its resources are made on,
// the show's data folder the script's names are found in (empty: the
// current one), and where its problems go.
struct LoadContext {
  Device &device;
  std::string folder;
  const Logger &logger;
  // Where the files are read: the disk, or the show's archive.
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
