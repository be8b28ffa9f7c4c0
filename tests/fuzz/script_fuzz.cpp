// Both script passes over arbitrary bytes: nothing may crash, leak or write
// outside the show record.

#include "base/problems.h"
#include "fuzz/fuzz_entry.h"
#include "script/parser.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

int fuzzScript(const std::uint8_t *data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  auto show = std::make_unique<korvane::Show>();
  // Every problem is collected and its text made, so that each report of
  // the list is exercised.
  std::vector<korvane::Report> reports;
  korvane::Logger logger;
  logger.add(
      [&reports](const korvane::Report &report) { reports.push_back(report); });
  // The log's lines are made, as the player makes them, and dropped.
  logger.addLines([](const std::string &) {});
  korvane::ParseOptions options;
  // What is loaded is kept by the layer's place: it must name a slot.
  options.load = [](const korvane::Layer &, korvane::LayerPlace place,
                    const korvane::Logger &) {
    if (place.part < 0 || place.part >= korvane::maxParts || place.layer < 0 ||
        place.layer >= korvane::maxLayers)
      __builtin_trap();
  };

  korvane::parseScriptText(*show, text, false, logger, options);
  korvane::parseScriptText(*show, text, true, logger, options);
  return 0;
}

KORVANE_FUZZ_ENTRY(fuzzScript)
