// What under_valgrind.sh must tell apart: a clean run, a fault of the
// program's own, and an instruction valgrind cannot translate.

#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
  const char *what = argc > 1 ? argv[1] : "";
  if (std::strcmp(what, "overrun") == 0) {
    volatile int past = 16;
    volatile char *bytes = static_cast<char *>(std::malloc(16));
    bytes[past] = 1;
    std::free(const_cast<char *>(bytes));
  } else if (std::strcmp(what, "untranslatable") == 0) {
    // vpxord zmm0, zmm0, zmm0: valgrind decodes no AVX-512 on any processor.
    asm volatile(".byte 0x62, 0xf1, 0x7d, 0x48, 0xef, 0xc0");
  }
  return 0;
}
