// Both script passes over a generated script of about 1 MB.

#include "script/parser.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

std::string generatedScript(std::size_t bytes) {
  std::string text = "<demo>\nresolution 640 480\nshowfps ENABLE\n";
  int part = 0;
  while (text.size() < bytes) {
    text += "<part>\nlength 5000\nbackgroundcolor 10 20 30\n";
    for (int l = 0; l < 8; ++l) {
      text += "<layer>\ntype PICTURE\nfilename picture" + std::to_string(l) +
              ".png\nposition 0.5 -1.25 3\nscale 1 1 1\nrotation 0 2 0\n"
              "blend SRCALPHA INVSRCALPHA\n// a comment line\n"
              "<timeline>\n";
      for (int k = 0; k < 40; ++k)
        text += std::to_string(k * 100) + " position 0." + std::to_string(k) +
                " 1.5 -2.75\n";
      text += "</timeline>\n</layer>\n";
    }
    text += "</part>\n";
    ++part;
  }
  return text;
}

void bothPasses(benchmark::State &state) {
  const std::string text = generatedScript(1 << 20);
  const korvane::Logger quiet;
  for (auto _ : state) {
    auto show = std::make_unique<korvane::Show>();
    korvane::parseScriptText(*show, text, false, quiet);
    korvane::parseScriptText(*show, text, true, quiet);
    benchmark::DoNotOptimize(show->partnumber);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}
BENCHMARK(bothPasses)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
