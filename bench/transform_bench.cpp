// buildLayerTransform of a layer with all three channels keyed, 64 keys each.

#include "playback/layer_transform.h"

#include <benchmark/benchmark.h>

namespace {

void keyedLayerTransform(benchmark::State &state) {
  korvane::Layer layer;
  layer.hastimeline = layer.haspositionkeys = layer.hasscalekeys =
      layer.hasrotationkeys = 1;
  layer.positiontimes.reset(new std::int32_t[korvane::maxKeys]());
  layer.scaletimes.reset(new std::int32_t[korvane::maxKeys]());
  layer.rotationtimes.reset(new std::int32_t[korvane::maxKeys]());
  layer.positionvalues.reset(new float[korvane::maxKeys][3]());
  layer.scalevalues.reset(new float[korvane::maxKeys][3]());
  layer.rotationvalues.reset(new float[korvane::maxKeys][3]());
  for (int k = 0; k < 64; ++k) {
    layer.positiontimes[k] = layer.scaletimes[k] = layer.rotationtimes[k] =
        k * 100;
    for (int c = 0; c < 3; ++c) {
      layer.positionvalues[k][c] = static_cast<float>(k + c);
      layer.scalevalues[k][c] = 1.0f + 0.01f * static_cast<float>(k);
      layer.rotationvalues[k][c] = 0.5f + static_cast<float>(c);
    }
  }
  layer.positioncount = layer.scalecount = layer.rotationcount = 64;
  layer.rotation[1] = 1.0f;
  layer.rotationadd[0] = 0.3f;
  layer.rotationadd[2] = 0.7f;

  std::uint32_t t = 0;
  for (auto _ : state) {
    // Walk the whole timeline so the searches run to every depth.
    t = (t + 37) % 6400;
    benchmark::DoNotOptimize(korvane::buildLayerTransform(layer, t));
  }
}
BENCHMARK(keyedLayerTransform);

} // namespace

BENCHMARK_MAIN();
