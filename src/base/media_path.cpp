#include "base/media_path.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace korvane {
namespace {

bool sameIgnoringCase(const std::string &a, const std::string &b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

} // namespace

std::string resolveMediaPath(const std::string &name) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (name.empty() || fs::exists(name, error))
    return name;
  std::string slashed = name;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  if (fs::exists(slashed, error))
    return slashed;

  fs::path found = slashed[0] == '/' ? fs::path("/") : fs::path();
  for (const fs::path &part : fs::path(slashed).relative_path()) {
    const std::string wanted = part.string();
    if (wanted.empty() || wanted == "." || wanted == "..") {
      found /= part;
      continue;
    }
    const fs::path exact = found / part;
    if (fs::exists(exact, error)) {
      found = exact;
      continue;
    }
    bool matched = false;
    const fs::path folder = found.empty() ? fs::path(".") : found;
    for (const auto &entry : fs::directory_iterator(folder, error)) {
      if (sameIgnoringCase(entry.path().filename().string(), wanted)) {
        found /= entry.path().filename();
        matched = true;
        break;
      }
    }
    if (!matched)
      return name;
  }
  return found.string();
}

std::string resolveMediaPath(const std::string &name,
                             const std::string &folder) {
  if (folder.empty() || name.empty() || name[0] == '/' || name[0] == '\\')
    return resolveMediaPath(name);
  return resolveMediaPath(folder + "/" + name);
}

ShowFolder findShowFolder(const std::string &root) {
  namespace fs = std::filesystem;
  std::error_code error;
  ShowFolder folder;
  folder.root = fs::absolute(root.empty() ? "." : root, error)
                    .lexically_normal()
                    .string();
  if (folder.root.size() > 1 && folder.root.back() == '/')
    folder.root.pop_back();
  folder.data = resolveMediaPath("Data", folder.root);
  folder.script = resolveMediaPath("mirl .script", folder.data);
  folder.music = resolveMediaPath("mirl .mp3", folder.root);
  folder.log = resolveMediaPath("debug.log", folder.data);
  return folder;
}

} // namespace korvane
