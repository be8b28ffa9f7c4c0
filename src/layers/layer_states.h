#pragma once

#include "device/device.h"
#include "script/show.h"

namespace korvane {

// The depth states a layer asks for; a setting left out (0) leaves the
// device's value alone.
void setLayerDepth(Device &device, const Layer &layer);
// Blending when both factors are given, otherwise off.
// True when blending is on.
bool setLayerBlend(Device &device, const Layer &layer);

} // namespace korvane
