#include "layers/picture/avi_stream.h"
#include "layers/picture/picture_layer.h"
#include "platform/video_file.h"
#include "platform/window.h"

#include "problem_capture.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

namespace fs = std::filesystem;
using namespace korvane;

namespace {

std::vector<std::string> shown; // what the message box said

// Frames whose colour is their number: blue = n, green = n / 256.
class CountingSource final : public FrameSource {
public:
  CountingSource(int w, int h, std::uint32_t fps, std::int32_t frames,
                 std::int32_t first = 0)
      : width(w), height(h), picture(std::size_t(w) * h * 3) {
    rate = fps;
    scale = 1;
    length = frames;
    start = first;
  }
  const VideoFrame *frame(std::int32_t n) override {
    requests.push_back(n);
    if (n == broken)
      return nullptr;
    for (std::size_t i = 0; i < std::size_t(width) * height; ++i) {
      picture[3 * i] = static_cast<std::uint8_t>(n);
      picture[1 + 3 * i] = static_cast<std::uint8_t>(n >> 8);
      picture[2 + 3 * i] = 7;
    }
    delivered = {width, height, std::size_t(width) * 3, picture.data()};
    return &delivered;
  }
  std::int32_t width, height;
  std::vector<std::uint8_t> picture;
  VideoFrame delivered;
  std::vector<std::int32_t> requests;
  std::int32_t broken = -1;
};

CountingSource *nextSource = nullptr;
std::unique_ptr<FrameSource> handOut(const std::string &, const ShowFiles &,
                                     std::string &step) {
  step = "AVIFileOpen";
  std::unique_ptr<FrameSource> out(nextSource);
  nextSource = nullptr;
  return out;
}

struct Stream {
  Device device{nullptr};
  std::unique_ptr<Texture> texture;
  AviStream record;
  CountingSource *source;
  bool opened;

  explicit Stream(CountingSource *made, PixelFormat format = D3DFMT_X8R8G8B8)
      : source(made) {
    texture = device.createTexture(256, 256, 0, 0, format, D3DPOOL_DEFAULT);
    nextSource = made;
    korvane::test::ReportedProblems problems;
    opened = openAviStream(record, "video.avi", {device, problems},
                           texture.get(), handOut);
    shown = problems.boxes();
  }
  std::uint32_t texel() const {
    std::uint32_t value;
    std::memcpy(&value, texture->pixels(), 4);
    return value;
  }
};

} // namespace

TEST(AviStream, FrameChoiceAndCopies) {
  Stream s(new CountingSource(256, 256, 25, 50));
  ASSERT_TRUE(s.opened);
  EXPECT_EQ(s.record.framerate, 25u);
  EXPECT_EQ(s.record.endframe, 50);
  EXPECT_EQ(s.record.currentframe, 0xFFFFFFFFu);
  for (const auto &[v, frame] : {std::pair{0u, 0u},
                                 {39u, 0u},
                                 {40u, 1u},
                                 {1999u, 49u},
                                 {2000u, 0u},
                                 {4040u, 1u}}) {
    updateAviStream(s.record, v);
    EXPECT_EQ(s.record.currentframe, frame) << v;
    EXPECT_EQ(s.texel(), 0xFF070000u + frame) << v;
  }
  // Within the same frame: no decoding and no copy.
  const auto requests = s.source->requests.size();
  const auto version = s.texture->version();
  updateAviStream(s.record, 4050);
  EXPECT_EQ(s.source->requests.size(), requests);
  EXPECT_EQ(s.texture->version(), version);
  // A frame the decoder cannot deliver leaves the last picture.
  s.source->broken = 2;
  updateAviStream(s.record, 80);
  EXPECT_EQ(s.texel(), 0xFF070001u);
  closeAviStream(s.record);
  updateAviStream(s.record, 0); // closed: nothing happens
}

TEST(AviStream, FramesBeforeTheStartReadTheStart) {
  Stream s(new CountingSource(256, 256, 10, 5, 3));
  ASSERT_TRUE(s.opened);
  EXPECT_EQ(s.record.endframe, 8);
  updateAviStream(s.record, 100); // frame 1, before the first at 3
  EXPECT_EQ(s.source->requests.back(), 3);
  updateAviStream(s.record, 500);
  EXPECT_EQ(s.source->requests.back(), 5);
}

TEST(AviStream, RefusedStreamsAreToldAndNeverUpdated) {
  Stream wrong(new CountingSource(320, 240, 25, 10));
  EXPECT_FALSE(wrong.opened);
  EXPECT_EQ(shown, std::vector<std::string>{"Texture: 256x256, Avi: 320x240"});
  updateAviStream(wrong.record, 1000);
  EXPECT_EQ(wrong.texel(), 0u);

  Stream slow(new CountingSource(256, 256, 0, 10));
  EXPECT_FALSE(slow.opened);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("frame rate 0"), std::string::npos);
  updateAviStream(slow.record, 1000); // must not divide by zero
  Stream fast(new CountingSource(256, 256, 2000, 10));
  EXPECT_FALSE(fast.opened);
  Stream empty(new CountingSource(256, 256, 25, 0));
  EXPECT_FALSE(empty.opened);
  EXPECT_NE(shown[0].find("no frames"), std::string::npos);
  updateAviStream(empty.record, 1000);

  Stream missing(nullptr);
  EXPECT_FALSE(missing.opened);
  EXPECT_EQ(shown, std::vector<std::string>{"AVIFileOpen"});

  // No texture: the stream is not even opened.
  Device device(nullptr);
  AviStream record;
  nextSource = nullptr;
  EXPECT_FALSE(openAviStream(record, "x.avi", {device, standardLogger()},
                             nullptr, handOut));
}

TEST(AviStream, PixelConversions) {
  const std::uint8_t bgr[6] = {0x12, 0x34, 0xF6, 0xFF, 0x80, 0x01};
  std::uint8_t out[8] = {};
  auto word = [&](int i) {
    std::uint16_t v;
    std::memcpy(&v, out + 2 * i, 2);
    return v;
  };
  convertPixels(bgr, 2, D3DFMT_A8R8G8B8, out);
  std::uint32_t first;
  std::memcpy(&first, out, 4);
  EXPECT_EQ(first, 0xFFF63412u);
  convertPixels(bgr, 2, D3DFMT_R5G6B5, out);
  EXPECT_EQ(word(0), (0xF6 >> 3) << 11 | (0x34 >> 2) << 5 | (0x12 >> 3));
  EXPECT_EQ(word(1), (0x01 >> 3) << 11 | (0x80 >> 2) << 5 | (0xFF >> 3));
  convertPixels(bgr, 2, D3DFMT_X1R5G5B5, out);
  EXPECT_EQ(word(0), (0xF6 >> 3) << 10 | (0x34 >> 3) << 5 | (0x12 >> 3));
  EXPECT_EQ(word(0) & 0x8000, 0);
  convertPixels(bgr, 2, D3DFMT_A1R5G5B5, out);
  EXPECT_EQ(word(1), (0x80 >> 3) << 5 | (0xFF >> 3));
  convertPixels(bgr, 2, D3DFMT_R3G3B2, out);
  EXPECT_EQ(out[0], (0xF6 >> 5) << 5 | (0x34 >> 5) << 2 | (0x12 >> 6));
  std::memset(out, 0xAB, sizeof out);
  convertPixels(bgr, 2, D3DFMT_A4R4G4B4, out); // no conversion: untouched
  EXPECT_EQ(out[0], 0xAB);

  // Through a stream: a 16-bit texture gets the converted frame.
  Stream s(new CountingSource(256, 256, 25, 5), D3DFMT_R5G6B5);
  ASSERT_TRUE(s.opened);
  updateAviStream(s.record, 40);
  std::uint16_t texel;
  std::memcpy(&texel, s.texture->pixels(), 2);
  EXPECT_EQ(texel, (7 >> 3) << 11 | (0 >> 2) << 5 | (1 >> 3));
}

TEST(VideoFile, DecodesEveryCodecByNumber) {
  const korvane::test::TempFolder scratch;
  const fs::path folder = scratch.path;
  for (const char *codec : {"rawvideo", "mjpeg", "cinepak", "msvideo1"}) {
    SCOPED_TRACE(codec);
    const fs::path file = folder / (std::string(codec) + ".avi");
    // Red grows by 5 a frame; green stays 128.
    const std::string command =
        std::string("ffmpeg -loglevel error -y -f lavfi -i "
                    "\"color=c=black:s=256x256:r=25:d=2,geq=r='N*5':g='128':"
                    "b='255-N*5'\" -c:v ") +
        codec + (std::string(codec) == "rawvideo" ? " -pix_fmt bgr24" : "") +
        " '" + file.string() + "' </dev/null >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string step;
    auto video = openVideoFile(file.string(), step);
    ASSERT_TRUE(video) << step;
    EXPECT_EQ(video->rate / video->scale, 25u);
    EXPECT_EQ(video->length, 50);
    EXPECT_EQ(video->start, 0);
    for (int n : {0, 1, 2, 30, 10, 49, 5}) {
      const VideoFrame *frame = video->frame(n);
      ASSERT_TRUE(frame) << n;
      ASSERT_EQ(frame->width, 256);
      ASSERT_EQ(frame->height, 256);
      const std::uint8_t *middle =
          frame->pixels + 128 * frame->stride + 128 * 3;
      EXPECT_NEAR(middle[2], n * 5, 12) << n;
      EXPECT_NEAR(middle[1], 128, 12) << n;
    }
    EXPECT_FALSE(video->frame(60));
  }
  std::string step;
  EXPECT_FALSE(openVideoFile((folder / "none.avi").string(), step));
  EXPECT_EQ(step, "AVIFileOpen");
}

TEST(AviStream, SpeedGivesADefinedVideoTime) {
  EXPECT_EQ(aviTime(1000, 2.0f), 2000u);
  EXPECT_EQ(aviTime(999, 0.5f), 499u);          // toward zero
  EXPECT_EQ(aviTime(1500, -1.0f), 0xFFFFFA24u); // -1500 modulo 2^32
  EXPECT_EQ(aviTime(1000, 5e6f), 705032704u);   // 5e9 modulo 2^32
  EXPECT_EQ(aviTime(1000, std::nanf("")), 0u);
  EXPECT_EQ(aviTime(1000, 1e30f), 0u);
  EXPECT_EQ(aviTime(1000, -std::numeric_limits<float>::infinity()), 0u);
  EXPECT_EQ(aviTime(0, std::numeric_limits<float>::infinity()), 0u);
}
