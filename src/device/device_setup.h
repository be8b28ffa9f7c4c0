#pragma once

#include "base/problems.h"
#include "device/arcball.h"
#include "device/device.h"
#include "device/texture_font.h"

#include <memory>

namespace korvane {

// The device and what lives as long as it: the overlay's font.
struct GraphicsDevice {
  std::unique_ptr<Device> device;
  std::unique_ptr<TextureFont> font;
};

// Makes the device over `backend`, sets the states every frame starts
// from, the default light, the arcball's window and the font, and logs the
// way vertices are processed to `logger`. False when there is no backend.
// A listener (the device trace), if given, is told every device call from
// the device's creation on.
bool setupDevice(GraphicsDevice &graphics,
                 std::unique_ptr<DeviceBackend> backend, Arcball &arcball,
                 int width, int height, const Logger &logger,
                 DeviceListener *listener = nullptr);
void teardownDevice(GraphicsDevice &graphics);

} // namespace korvane
