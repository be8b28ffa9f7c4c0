#pragma once

#include "device/device.h"
#include "layers/layer_states.h"
#include "platform/video_file.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korvane {

// A video streamed into a layer's texture: the frame for a time, looping,
// converted and copied only when the frame number changes.
struct AviStream {
  std::unique_ptr<FrameSource> stream;
  std::int32_t endframe = 0;
  std::int32_t startframe = 0;
  std::int32_t videowidth = 0;
  std::int32_t videoheight = 0;
  std::uint32_t texturewidth = 0;
  std::uint32_t textureheight = 0;
  std::uint32_t framerate = 0;
  std::uint32_t previousframe = 0;
  std::uint32_t currentframe = 0;
  Texture *texture = nullptr;
  std::unique_ptr<Texture> stagingtexture;
  Device *device = nullptr;
  bool ready = false; // opened; a stream that failed is never updated
};

// The video `name`, read through the show's files (which keep a show to its
// own); null with the failed step, and why, in `step`.
std::unique_ptr<FrameSource> openShowVideo(const std::string &name,
                                           const ShowFiles &files,
                                           std::string &step);

// Opens `filename` (the name the script gives, found in the show folder) for
// `texture`; false after telling the user why. The source opener can be
// replaced for tests.
using VideoOpener = std::unique_ptr<FrameSource> (*)(const std::string &,
                                                     const ShowFiles &,
                                                     std::string &);
bool openAviStream(AviStream &record, const std::string &filename,
                   const LoadContext &load, Texture *texture,
                   VideoOpener opener = openShowVideo);
// Shows the frame for `v` milliseconds.
void updateAviStream(AviStream &record, std::uint32_t v);
void closeAviStream(AviStream &record);

// Writes `count` blue-green-red pixels as packed pixels of `format`;
// formats without a conversion are left as they are.
void convertPixels(const std::uint8_t *bgr, std::size_t count,
                   PixelFormat format, std::uint8_t *out);

} // namespace korvane
