#include "layers/picture/avi_stream.h"

#include "base/problems.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace korvane {
namespace {

// The message box says what the step was; standard error also names the
// file, so a show's author can find which layer failed.
bool fail(const LoadContext &load, const std::string &filename,
          const std::string &text) {
  load.logger.report(Problem::VideoNotPlayed, filename, 0, {filename, text});
  return false;
}

} // namespace

void convertPixels(const std::uint8_t *bgr, std::size_t count,
                   PixelFormat format, std::uint8_t *out) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t b = bgr[3 * i], g = bgr[3 * i + 1], r = bgr[3 * i + 2];
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: {
      const std::uint32_t value = 0xFF000000u + r * 65536u + g * 256u + b;
      std::memcpy(out + 4 * i, &value, 4);
      break;
    }
    case D3DFMT_R5G6B5: {
      const auto value =
          static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
      std::memcpy(out + 2 * i, &value, 2);
      break;
    }
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
      const auto value =
          static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
      std::memcpy(out + 2 * i, &value, 2);
      break;
    }
    case D3DFMT_R3G3B2:
      out[i] =
          static_cast<std::uint8_t>((r >> 5) << 5 | (g >> 5) << 2 | (b >> 6));
      break;
    default:
      return;
    }
  }
}

std::unique_ptr<FrameSource> openShowVideo(const std::string &name,
                                           const ShowFiles &files,
                                           std::string &step) {
  std::string bytes, why;
  if (!files.read(name, bytes, why)) {
    step = "AVIFileOpen (" + why + ")";
    return nullptr;
  }
  return openVideoBytes(std::move(bytes), step);
}

bool openAviStream(AviStream &record, const std::string &filename,
                   const LoadContext &load, Texture *texture,
                   VideoOpener opener) {
  Device &device = load.device;
  record.ready = false;
  record.texture = texture;
  record.device = &device;
  if (!texture)
    return false;
  record.texturewidth = texture->width();
  record.textureheight = texture->height();
  record.stagingtexture =
      device.createTexture(record.texturewidth, record.textureheight, 0, 0,
                           texture->format(), D3DPOOL_SYSTEMMEM);

  std::string step;
  record.stream = opener(filename, load.files, step);
  if (!record.stream)
    return fail(load, filename, step);
  FrameSource &stream = *record.stream;
  record.endframe = stream.length + stream.start;
  record.startframe = stream.start;
  const VideoFrame *first = stream.frame(stream.start);
  if (!first)
    return fail(load, filename, "AVIStreamGetFrame");
  record.videowidth = first->width;
  record.videoheight = first->height;
  record.framerate = stream.scale ? stream.rate / stream.scale : 0;
  // Rates the frame formula cannot divide by, or nothing to show.
  if (record.framerate < 1 || record.framerate > 1000)
    return fail(load, filename,
                "AVI frame rate " + std::to_string(record.framerate) +
                    " is outside 1 to 1000 frames per second: " + filename);
  if (record.endframe <= 0 || stream.length <= 0)
    return fail(load, filename, "AVI has no frames: " + filename);
  if (record.videowidth != static_cast<std::int32_t>(record.texturewidth) ||
      record.videoheight != static_cast<std::int32_t>(record.textureheight)) {
    char text[96];
    std::snprintf(text, sizeof text, "Texture: %dx%d, Avi: %dx%d",
                  static_cast<int>(record.texturewidth),
                  static_cast<int>(record.textureheight), record.videowidth,
                  record.videoheight);
    return fail(load, filename, text);
  }
  if (!record.stagingtexture)
    return false;
  record.currentframe = 0xFFFFFFFFu;
  record.ready = true;
  return true;
}

void updateAviStream(AviStream &record, std::uint32_t v) {
  if (!record.ready)
    return;
  record.previousframe = record.currentframe;
  const std::uint32_t frame = (v / (1000u / record.framerate)) %
                              static_cast<std::uint32_t>(record.endframe);
  record.currentframe = frame;
  if (frame == record.previousframe)
    return;
  // A frame before the stream's start reads as its first frame; a frame the
  // decoder cannot deliver leaves the last picture in place.
  const std::int32_t wanted =
      std::max(static_cast<std::int32_t>(frame), record.startframe);
  const VideoFrame *picture = record.stream->frame(wanted);
  if (!picture || picture->width != record.videowidth ||
      picture->height != record.videoheight)
    return;
  Texture &staging = *record.stagingtexture;
  std::uint8_t *out = staging.lock(0);
  for (std::uint32_t row = 0; row < record.textureheight; ++row)
    convertPixels(picture->pixels + row * picture->stride, record.texturewidth,
                  staging.format(), out + std::size_t(row) * staging.pitch(0));
  staging.unlock(0);
  record.device->updateTexture(staging, *record.texture);
}

void closeAviStream(AviStream &record) {
  record.stream.reset();
  record.stagingtexture.reset();
  record.ready = false;
}

} // namespace korvane
