// Functions valgrind runs in place of library code it cannot translate.
// Outside valgrind nothing calls them.

#include <cstdint>
#include <valgrind/valgrind.h>

// libhwy (loaded with FFmpeg through libjxl) measures its timer with RDTSCP
// while it is loaded. Valgrind's own CPUID says RDTSCP is there even where
// the host hides it, and then cannot translate it, so every run under
// valgrind dies with SIGILL before main. The resolution only tunes libhwy's
// benchmarks, which nothing here uses.
extern "C" std::uint64_t
I_REPLACE_SONAME_FNNAME_ZU(libhwyZdsoZa,
                           _ZN3hwy8platform15TimerResolutionEv)() {
  return 1;
}
