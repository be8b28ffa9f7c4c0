// updateAviStream for a new frame (decode, convert, copy) and for an
// unchanged one, per codec, at 256x256.

#include "layers/picture/avi_stream.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

using namespace korvane;

const char *codecs[] = {"rawvideo", "mjpeg", "cinepak", "msvideo1"};

std::string makeVideo(const char *codec) {
  const std::string file = std::string("/tmp/korvane-bench-") + codec + ".avi";
  const std::string command =
      std::string("ffmpeg -loglevel error -y -f lavfi -i "
                  "testsrc=size=256x256:rate=25:duration=8 -c:v ") +
      codec + (std::string(codec) == "rawvideo" ? " -pix_fmt bgr24" : "") +
      " " + file + " </dev/null >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 ? file : std::string();
}

void update(benchmark::State &state) {
  const char *codec = codecs[state.range(0)];
  const bool changing = state.range(1) != 0;
  const std::string file = makeVideo(codec);
  Device device(nullptr);
  auto texture =
      device.createTexture(256, 256, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT);
  AviStream stream;
  const Logger quiet;
  if (file.empty() ||
      !openAviStream(stream, file, {device, quiet}, texture.get())) {
    state.SkipWithError("no video");
    return;
  }
  std::uint32_t v = 0;
  updateAviStream(stream, v);
  for (auto _ : state) {
    if (changing)
      v += 40; // the next frame at 25 frames a second
    updateAviStream(stream, v);
  }
  state.SetLabel(std::string(codec) +
                 (changing ? " new frame" : " same frame"));
  closeAviStream(stream);
}

BENCHMARK(update)
    ->ArgsProduct({{0, 1, 2, 3}, {1, 0}})
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
