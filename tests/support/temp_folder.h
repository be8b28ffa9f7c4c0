#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace korvane::test {

// A fresh folder, removed with all it holds when the test is done, also
// when an assertion ends the test early. With `enter` the current folder is
// inside it meanwhile.
class TempFolder {
public:
  explicit TempFolder(bool enter = false) {
    namespace fs = std::filesystem;
    std::string pattern =
        (fs::temp_directory_path() / "korvane-XXXXXX").string();
    path = mkdtemp(pattern.data());
    if (enter) {
      previous = fs::current_path();
      fs::current_path(path);
    }
  }
  ~TempFolder() {
    std::error_code error;
    if (!previous.empty())
      std::filesystem::current_path(previous, error);
    std::filesystem::remove_all(path, error);
  }
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;

  std::filesystem::path path;

private:
  std::filesystem::path previous;
};

// A whole file's bytes; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path &path,
                      const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace korvane::test
