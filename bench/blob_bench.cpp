// The metaball polygoniser against a plain full-grid marching cubes over the
// same grid, field and tables.

#include "metaballs/blob_field.h"
#include "metaballs/marching_tables.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using korvane::BlobField;
using korvane::BlobVertex;

// Balls spread on the paths a show gives them: `mul` factors of different
// sizes so that they drift apart and together.
void setUp(BlobField &field, int count, int kind) {
  float positions[16][3] = {};
  float sizes[16] = {};
  std::int32_t types[16] = {};
  float muls[16][3] = {};
  for (int i = 0; i < count; ++i) {
    types[i] = kind;
    const float angle = static_cast<float>(i) * 2.39996323f;
    const float reach =
        count == 1 ? 0.3f : 0.15f + 0.04f * static_cast<float>(i % 8);
    muls[i][0] = reach * std::cos(angle);
    muls[i][1] = reach * std::sin(angle);
    muls[i][2] = 0.1f + 0.02f * static_cast<float>(i % 5);
  }
  field.setup(count, positions, sizes, types, muls);
}

// A tick source that moves on by one 60 Hz frame for each pair of readings.
class FrameTicks final : public korvane::TickSource {
public:
  std::uint32_t tickCount() override {
    const std::uint32_t value = now;
    if (++readings % 2 == 0)
      now += 16;
    return value;
  }

private:
  std::uint32_t now = 100000;
  std::uint64_t readings = 0;
};

void polygonise(benchmark::State &state) {
  const int count = static_cast<int>(state.range(0));
  const int kind = static_cast<int>(state.range(1));
  BlobField field;
  setUp(field, count, kind);
  std::vector<BlobVertex> out(korvane::blobVertexCapacity);
  FrameTicks ticks;
  double evaluations = 0, triangles = 0;
  for (auto _ : state) {
    triangles += field.polygonise(out.data(), ticks);
    evaluations += static_cast<double>(field.evaluations());
    benchmark::DoNotOptimize(out.data());
  }
  const auto frames = static_cast<double>(state.iterations());
  state.counters["evaluations/frame"] = evaluations / frames;
  state.counters["triangles/frame"] = triangles / frames;
}

// Every grid point evaluated once, every cell triangulated.
void fullGrid(benchmark::State &state) {
  const int count = static_cast<int>(state.range(0));
  const int kind = static_cast<int>(state.range(1));
  BlobField field;
  setUp(field, count, kind);
  std::vector<BlobVertex> throwaway(korvane::blobVertexCapacity);
  FrameTicks ticks;
  constexpr int n = 33;
  std::vector<float> values(n * n * n);
  std::vector<BlobVertex> out(korvane::blobVertexCapacity);
  auto at = [&](int i, int j, int k) {
    if (i < 0 || j < 0 || k < 0)
      return 0.0f;
    return values[(i * n + j) * n + k];
  };
  double triangles = 0;
  for (auto _ : state) {
    state.PauseTiming();
    field.polygonise(throwaway.data(), ticks, 0); // moves the balls only
    state.ResumeTiming();
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j)
        for (int k = 0; k < n; ++k)
          values[(i * n + j) * n + k] = field.fieldValue(
              i * 0.0625f - 1.0f, j * 0.0625f - 1.0f, k * 0.0625f - 1.0f);
    int written = 0;
    for (int a = 0; a < 31; ++a)
      for (int b = 0; b < 31; ++b)
        for (int c = 0; c < 31; ++c) {
          int cube = 0;
          float v[8], p[8][3], nrm[8][3];
          for (int q = 0; q < 8; ++q) {
            const int i = a + korvane::cubeCorners[q][0];
            const int j = b + korvane::cubeCorners[q][1];
            const int k = c + korvane::cubeCorners[q][2];
            v[q] = at(i, j, k);
            if (v[q] < 1.0f)
              cube |= 1 << q;
          }
          const unsigned edges = korvane::edgeTable.entry[cube];
          if (!edges)
            continue;
          for (int q = 0; q < 8; ++q) {
            const int i = a + korvane::cubeCorners[q][0];
            const int j = b + korvane::cubeCorners[q][1];
            const int k = c + korvane::cubeCorners[q][2];
            p[q][0] = i * 0.0625f - 1.0f;
            p[q][1] = j * 0.0625f - 1.0f;
            p[q][2] = k * 0.0625f - 1.0f;
            nrm[q][0] = at(i - 1, j, k) - at(std::min(i + 1, n - 1), j, k);
            nrm[q][1] = at(i, j - 1, k) - at(i, std::min(j + 1, n - 1), k);
            nrm[q][2] = at(i, j, k - 1) - at(i, j, std::min(k + 1, n - 1));
            const float len =
                std::sqrt(nrm[q][0] * nrm[q][0] + nrm[q][1] * nrm[q][1] +
                          nrm[q][2] * nrm[q][2]);
            if (len > 0)
              for (float &x : nrm[q])
                x /= len;
          }
          BlobVertex vert[12];
          for (int e = 0; e < 12; ++e) {
            if (!(edges & (1u << e)))
              continue;
            const int f = korvane::cubeEdges[e][0],
                      g = korvane::cubeEdges[e][1];
            const float t = (1.0f - v[f]) / (v[g] - v[f]);
            vert[e] = {p[f][0] + t * (p[g][0] - p[f][0]),
                       p[f][1] + t * (p[g][1] - p[f][1]),
                       p[f][2] + t * (p[g][2] - p[f][2]),
                       nrm[f][0] + t * (nrm[g][0] - nrm[f][0]),
                       nrm[f][1] + t * (nrm[g][1] - nrm[f][1]),
                       nrm[f][2] + t * (nrm[g][2] - nrm[f][2])};
          }
          const std::int8_t *row = korvane::triangleTable[cube];
          for (int r = 0; row[r] != -1 && written < 8000; r += 3) {
            out[3 * written] = vert[row[r]];
            out[3 * written + 1] = vert[row[r + 1]];
            out[3 * written + 2] = vert[row[r + 2]];
            ++written;
          }
        }
    triangles += written;
    benchmark::DoNotOptimize(out.data());
  }
  const auto frames = static_cast<double>(state.iterations());
  state.counters["evaluations/frame"] = n * n * n;
  state.counters["triangles/frame"] = triangles / frames;
}

void cases(benchmark::internal::Benchmark *bench) {
  bench->ArgNames({"balls", "kind"});
  for (int kind : {0, 1, 2})
    for (int count : {1, 4, 16})
      bench->Args({count, kind});
  bench->Unit(benchmark::kMicrosecond);
}

BENCHMARK(polygonise)->Apply(cases);
BENCHMARK(fullGrid)->Apply(cases);

} // namespace

BENCHMARK_MAIN();
