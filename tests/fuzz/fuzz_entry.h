#pragma once

// Each fuzzer is a plain function over bytes, which the corpus replays in
// the tests call as well; the fuzz build makes it libFuzzer's entry point.

#include <cstddef>
#include <cstdint>

#ifdef KORVANE_FUZZER
#define KORVANE_FUZZ_ENTRY(harness)                                            \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,              \
                                        std::size_t size) {                    \
    return harness(data, size);                                                \
  }
#else
#define KORVANE_FUZZ_ENTRY(harness)
#endif
