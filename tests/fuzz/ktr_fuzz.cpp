// The KTR dump over arbitrary bytes: every record count and every cut-off
// file must end in log lines, never in a read past the file or a hang.

#include "base/problems.h"
#include "fuzz/fuzz_entry.h"
#include "fuzz/fuzz_file.h"
#include "layers/mesh/mesh_layer.h"

#include <cstring>

int fuzzKtr(const std::uint8_t *data, std::size_t size) {
  static const korvane::fuzz::InputFile input(".ktr");
  if (!input.write(data, size))
    return 0;
  korvane::Layer layer{};
  std::strncpy(layer.filename, input.path.c_str(), sizeof layer.filename - 1);
  std::vector<std::string> lines;
  korvane::Logger logger;
  logger.addLines([&lines](const std::string &line) { lines.push_back(line); });
  korvane::Device device(nullptr);
  korvane::dumpKtrFile(layer, {device, logger});
  // The dump is bounded by the file: at most one line per 4 bytes, plus
  // the headers.
  if (lines.size() > size / 4 + 8)
    __builtin_trap();
  return 0;
}

KORVANE_FUZZ_ENTRY(fuzzKtr)
