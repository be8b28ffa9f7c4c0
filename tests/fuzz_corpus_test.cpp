// Replays the fuzzer's seed corpus and everything it once found.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size);

TEST(FuzzCorpus, ScriptInputsReplay) {
  namespace fs = std::filesystem;
  const fs::path corpus = fs::path(KORVANE_TESTS_DIR) / "fuzz" / "script";
  int replayed = 0;
  for (const auto &entry : fs::directory_iterator(corpus)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().string());
    EXPECT_EQ(
        LLVMFuzzerTestOneInput(
            reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()),
        0);
    ++replayed;
  }
  EXPECT_GE(replayed, 5);
}
