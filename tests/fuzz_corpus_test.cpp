// Replays the fuzzers' seed corpora and everything they once found.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

int fuzzScript(const std::uint8_t *data, std::size_t size);
int fuzzPicture(const std::uint8_t *data, std::size_t size);
int fuzzKtr(const std::uint8_t *data, std::size_t size);
int fuzzMesh(const std::uint8_t *data, std::size_t size);
int fuzzAvi(const std::uint8_t *data, std::size_t size);
int fuzzArchive(const std::uint8_t *data, std::size_t size);

namespace {

int replay(const char *folder,
           int (*target)(const std::uint8_t *, std::size_t)) {
  namespace fs = std::filesystem;
  const fs::path corpus = fs::path(KORVANE_TESTS_DIR) / "fuzz" / folder;
  int replayed = 0;
  for (const auto &entry : fs::directory_iterator(corpus)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().string());
    EXPECT_EQ(target(reinterpret_cast<const std::uint8_t *>(bytes.data()),
                     bytes.size()),
              0);
    ++replayed;
  }
  return replayed;
}

} // namespace

TEST(FuzzCorpus, ScriptInputsReplay) {
  EXPECT_GE(replay("script", fuzzScript), 5);
}

TEST(FuzzCorpus, PictureInputsReplay) {
  EXPECT_GE(replay("picture", fuzzPicture), 5);
}

TEST(FuzzCorpus, KtrInputsReplay) { EXPECT_GE(replay("ktr", fuzzKtr), 5); }

TEST(FuzzCorpus, MeshInputsReplay) { EXPECT_GE(replay("mesh", fuzzMesh), 5); }

TEST(FuzzCorpus, AviInputsReplay) { EXPECT_GE(replay("avi", fuzzAvi), 4); }

TEST(FuzzCorpus, ArchiveInputsReplay) {
  EXPECT_GE(replay("archive", fuzzArchive), 5);
}
