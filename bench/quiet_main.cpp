// The main of the benchmarks that play shows: what the shows' layers report
// while they load (a blob layer names no texture, and the like) is not what
// is measured, so the problems go nowhere.

#include "base/problems.h"

#include <benchmark/benchmark.h>

int main(int argc, char **argv) {
  korvane::setProblemSink([](const korvane::Report &) {});
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
