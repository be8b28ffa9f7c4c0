// The archive reader over arbitrary bytes: every entry it keeps must read
// back within the size it claims, or fail with a reason; nothing it refuses
// may be read, and nothing may crash or hang.

#include "base/show_files.h"
#include "fuzz/fuzz_entry.h"

#include <string>

int fuzzArchive(const std::uint8_t *data, std::size_t size) {
  std::vector<korvane::RefusedEntry> refused;
  std::string why;
  const auto archive = korvane::ShowArchive::fromBytes(
      "/fuzz.zip", std::string(reinterpret_cast<const char *>(data), size),
      refused, why);
  if (!archive) {
    if (why.empty()) // refused without a reason for people
      __builtin_trap();
    return 0;
  }
  for (const std::string &name : archive->entryNames()) {
    std::string bytes, failure;
    if (!archive->read("/fuzz.zip/" + name, bytes, failure) &&
        (failure.empty() || !bytes.empty()))
      __builtin_trap();
    if (bytes.size() > korvane::ShowArchive::largestEntry)
      __builtin_trap();
  }
  for (const korvane::RefusedEntry &entry : refused)
    if (entry.why.empty())
      __builtin_trap();
  return 0;
}

KORVANE_FUZZ_ENTRY(fuzzArchive)
