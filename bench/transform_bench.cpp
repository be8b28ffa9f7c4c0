// buildLayerTransform of a layer with all three channels keyed, 64 keys each.

#include "animation/layer_transform.h"

#include <benchmark/benchmark.h>

namespace {

void keyedLayerTransform(benchmark::State &state) {
  korvane::Layer layer;
  layer.hastimeline = layer.haspositionkeys = layer.hasscalekeys =
      layer.hasrotationkeys = 1;
  for (korvane::TripleTrack *track :
       {&layer.positionkeys, &layer.scalekeys, &layer.rotationkeys})
    track->makeRoom();
  for (int k = 0; k < 64; ++k) {
    layer.positionkeys.times[k] = layer.scalekeys.times[k] =
        layer.rotationkeys.times[k] = k * 100;
    for (int c = 0; c < 3; ++c) {
      layer.positionkeys.values[k][c] = static_cast<float>(k + c);
      layer.scalekeys.values[k][c] = 1.0f + 0.01f * static_cast<float>(k);
      layer.rotationkeys.values[k][c] = 0.5f + static_cast<float>(c);
    }
  }
  layer.positionkeys.count = layer.scalekeys.count = 64;
  layer.rotationkeys.count = 64;
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
