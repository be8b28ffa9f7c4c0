#include "base/media_path.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

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
  return resolveMediaPath(nameInFolder(name, folder));
}

std::string nameInFolder(const std::string &name, const std::string &folder) {
  if (folder.empty() || name.empty() || name[0] == '/' || name[0] == '\\')
    return name;
  std::string path = folder;
  path.push_back('/');
  path.append(name);
  return path;
}

bool insideFolder(const std::string &path, const std::string &folder) {
  return path == folder || (path.size() > folder.size() &&
                            path.compare(0, folder.size(), folder) == 0 &&
                            (path[folder.size()] == '/' || folder == "/"));
}

std::string stateFolder() {
  const char *state = std::getenv("XDG_STATE_HOME");
  const char *home = std::getenv("HOME");
  const std::string base = state && *state ? std::string(state)
                           : home && *home ? std::string(home) + "/.local/state"
                                           : std::string("/tmp");
  return base + "/korvane";
}

namespace {

bool writableFolder(const std::string &folder) {
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// A show installed with a package: written to, it would leave files that
// removing the package leaves behind.
bool installed(const std::filesystem::path &real) {
  const std::string path = real.string() + "/";
  return insideFolder(real, "/usr") || insideFolder(real, "/opt") ||
         path.find("/share/korvane/show/") != std::string::npos;
}

// Where a show's own outputs go: `preferred` when it can be written, lies
// inside `home` (the show folder, or the archive's folder) once links are
// followed, and is not installed; else the state folder (made when missing).
std::string outputFolder(const std::string &preferred,
                         const std::string &home) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path real = fs::weakly_canonical(preferred, error);
  const fs::path realhome = fs::weakly_canonical(home, error);
  if (!error && insideFolder(real, realhome) && !installed(real) &&
      writableFolder(real.string()))
    return preferred;
  const std::string folder = stateFolder();
  fs::create_directories(folder, error);
  return folder;
}

ShowFolder archiveFolder(const std::string &path) {
  namespace fs = std::filesystem;
  ShowFolder folder;
  folder.archive = path;
  std::unique_ptr<ShowArchive> archive =
      ShowArchive::open(path, folder.refused, folder.unreadable);
  folder.root = path;
  if (archive && !archive->showFolder().empty())
    folder.root += "/" + archive->showFolder();
  folder.data = folder.root + "/Data";
  folder.script = folder.data + "/mirl .script";
  folder.music = folder.root + "/mirl .mp3";
  const std::string name = fs::path(path).filename().string();
  const std::string beside = fs::path(path).parent_path().string();
  folder.outputs = outputFolder(beside, beside);
  folder.log = folder.outputs + "/" + name + ".debug.log";
  if (archive)
    folder.files = std::move(archive);
  else
    folder.files = showFolderFiles(path); // nothing can be read
  return folder;
}

} // namespace

ShowFolder findShowFolder(const std::string &root) {
  namespace fs = std::filesystem;
  std::error_code error;
  const std::string absolute = fs::absolute(root.empty() ? "." : root, error)
                                   .lexically_normal()
                                   .string();
  if (fs::is_regular_file(absolute, error))
    return archiveFolder(absolute);
  ShowFolder folder;
  folder.root = absolute;
  if (folder.root.size() > 1 && folder.root.back() == '/')
    folder.root.pop_back();
  folder.data = resolveMediaPath("Data", folder.root);
  folder.script = resolveMediaPath("mirl .script", folder.data);
  folder.music = resolveMediaPath("mirl .mp3", folder.root);
  folder.log = resolveMediaPath("debug.log", folder.data);
  folder.outputs = outputFolder(folder.root, folder.root);
  std::error_code missing;
  if (fs::is_directory(folder.data, missing)) {
    const std::string logs = outputFolder(folder.data, folder.root);
    if (logs != folder.data)
      folder.log =
          logs + "/" + fs::path(folder.root).filename().string() + ".debug.log";
  }
  folder.files = showFolderFiles(folder.root);
  return folder;
}

} // namespace korvane
