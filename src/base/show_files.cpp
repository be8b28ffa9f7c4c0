#include "base/show_files.h"

#include "base/media_path.h"
#include "base/safe_file.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace korvane {
namespace {

// The components of a name written with either separator; false where a
// ".." would climb above the start, which `climb` allows to stop at.
bool components(const std::string &name, std::vector<std::string> &out,
                bool climb) {
  std::string part;
  auto flush = [&] {
    if (part == "..") {
      if (out.empty() && !climb)
        return false;
      if (!out.empty())
        out.pop_back();
    } else if (!part.empty() && part != ".") {
      out.push_back(part);
    }
    part.clear();
    return true;
  };
  for (char c : name) {
    if (c == '/' || c == '\\') {
      if (!flush())
        return false;
    } else {
      part += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return flush();
}

std::string joined(const std::vector<std::string> &parts) {
  std::string out;
  for (const std::string &part : parts) {
    if (!out.empty())
      out.push_back('/');
    out.append(part);
  }
  return out;
}

// Why an entry's name is refused, or null.
const char *refusal(const std::string &name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\' ||
      (name.size() > 1 && name[1] == ':'))
    return "its name is absolute";
  std::vector<std::string> parts;
  for (std::size_t at = 0; at <= name.size();) {
    std::size_t end = name.find_first_of("/\\", at);
    if (end == std::string::npos)
      end = name.size();
    if (name.compare(at, end - at, "..") == 0)
      return "its name climbs out of the archive";
    at = end + 1;
  }
  return nullptr;
}

// Whether the bytes are UTF-8, as libzip requires of names that say so.
bool validUtf8(const unsigned char *text, std::size_t size) {
  for (std::size_t i = 0; i < size;) {
    const unsigned char c = text[i];
    const std::size_t length = c < 0x80           ? 1
                               : (c >> 5) == 0x6  ? 2
                               : (c >> 4) == 0xE  ? 3
                               : (c >> 3) == 0x1E ? 4
                                                  : 0;
    if (length == 0 || i + length > size)
      return false;
    for (std::size_t k = 1; k < length; ++k)
      if ((text[i + k] >> 6) != 0x2)
        return false;
    i += length;
  }
  return true;
}

// A name for people: bytes that are not printable ASCII as \xNN.
std::string escaped(const unsigned char *text, std::size_t size) {
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    if (text[i] >= 0x20 && text[i] < 0x7F) {
      out.push_back(static_cast<char>(text[i]));
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", text[i]);
      out.append(hex);
    }
  }
  return out;
}

std::uint32_t little(const std::string &bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Clears the UTF-8 flag of every central directory entry whose name is
// not UTF-8, so that libzip opens the archive; their names, escaped, by
// entry. False where the directory cannot be walked (libzip then says why).
bool clearBadNames(std::string &bytes,
                   std::map<std::uint64_t, std::string> &bad) {
  const std::size_t tail = 22;
  if (bytes.size() < tail)
    return false;
  std::size_t end = bytes.size() - tail;
  const std::size_t lowest = end > 65535 ? end - 65535 : 0;
  while (little(bytes, end, 4) != 0x06054b50)
    if (end-- == lowest)
      return false;
  const std::uint32_t count = little(bytes, end + 10, 2);
  std::size_t at = little(bytes, end + 16, 4);
  for (std::uint64_t entry = 0; entry < count; ++entry) {
    if (at + 46 > bytes.size() || little(bytes, at, 4) != 0x02014b50)
      return false;
    const std::size_t name = little(bytes, at + 28, 2);
    const std::size_t next =
        at + 46 + name + little(bytes, at + 30, 2) + little(bytes, at + 32, 2);
    if (next > bytes.size())
      return false;
    const auto *text = reinterpret_cast<const unsigned char *>(&bytes[at + 46]);
    if ((little(bytes, at + 8, 2) & 0x800) && !validUtf8(text, name)) {
      bytes[at + 9] = static_cast<char>(bytes[at + 9] & ~0x08);
      bad[entry] = escaped(text, name);
    }
    at = next;
  }
  return !bad.empty();
}

std::string zipError(zip_t *zip) {
  return zip ? zip_strerror(zip) : "the archive cannot be read";
}

// A show's files seen from one of its folders.
class FilesIn final : public ShowFiles {
public:
  FilesIn(std::shared_ptr<const ShowFiles> files, std::string folder)
      : files(std::move(files)), folder(std::move(folder)) {}
  using ShowFiles::read;
  bool read(const std::string &name, std::string &bytes,
            ReadFailure &failure) const override {
    // A layer that names no file: not the folder itself.
    if (name.empty()) {
      bytes.clear();
      failure.why = "no file is named";
      return false;
    }
    return files->read(nameInFolder(name, folder), bytes, failure);
  }
  bool exists(const std::string &name) const override {
    return !name.empty() && files->exists(nameInFolder(name, folder));
  }
  std::string onDisk(const std::string &name) const override {
    return files->onDisk(nameInFolder(name, folder));
  }

private:
  std::shared_ptr<const ShowFiles> files;
  std::string folder;
};

} // namespace

bool ShowFiles::read(const std::string &name, std::string &bytes,
                     std::string &why) const {
  ReadFailure failure;
  const bool ok = read(name, bytes, failure);
  why = std::move(failure.why);
  return ok;
}

std::shared_ptr<const ShowFiles> filesIn(std::shared_ptr<const ShowFiles> files,
                                         const std::string &folder) {
  return std::make_shared<FilesIn>(std::move(files), folder);
}

DiskFiles::DiskFiles(const std::string &folder) {
  std::error_code failure;
  root = std::filesystem::weakly_canonical(folder, failure).string();
  if (failure || root.empty())
    root = folder;
}

bool DiskFiles::read(const std::string &name, std::string &bytes,
                     ReadFailure &failure) const {
  bytes.clear();
  namespace fs = std::filesystem;
  std::string file = resolveMediaPath(name);
  if (!root.empty()) {
    std::error_code error;
    const std::string real = fs::weakly_canonical(file, error).string();
    if (error || real == root || !insideFolder(real, root)) {
      failure.why = "it lies outside the show folder";
      return false;
    }
    file = real;
  }
  return readPlainFile(file, largestShowFile, bytes, failure.why);
}

bool DiskFiles::exists(const std::string &name) const {
  std::error_code failure;
  return std::filesystem::exists(
      std::filesystem::symlink_status(resolveMediaPath(name), failure));
}

std::string DiskFiles::onDisk(const std::string &name) const {
  return resolveMediaPath(name);
}

std::shared_ptr<const ShowFiles> sharedDiskFiles() {
  // Owns nothing: the disk is never freed.
  return {&diskFiles(), [](const ShowFiles *) {}};
}

std::shared_ptr<const ShowFiles> showFolderFiles(const std::string &root) {
  return std::make_shared<DiskFiles>(root);
}

bool looksLikeArchive(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  char magic[4] = {};
  return in.read(magic, 4) && magic[0] == 'P' && magic[1] == 'K' &&
         ((magic[2] == 3 && magic[3] == 4) || (magic[2] == 5 && magic[3] == 6));
}

const ShowFiles &diskFiles() {
  static const DiskFiles disk; // holds nothing: one for the process
  return disk;
}

std::unique_ptr<ShowArchive>
ShowArchive::open(const std::string &path, std::vector<RefusedEntry> &refused,
                  std::string &why) {
  std::unique_ptr<ShowArchive> archive(new ShowArchive);
  archive->archive = path;
  int code = 0;
  archive->zip = zip_open(path.c_str(), ZIP_RDONLY, &code);
  if (!archive->zip && code == ZIP_ER_INCONS)
    return withBadNames(path, refused, why);
  if (!archive->zip) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    why = zip_error_strerror(&error);
    zip_error_fini(&error);
    return nullptr;
  }
  if (!archive->index(refused, why))
    return nullptr;
  return archive;
}

std::unique_ptr<ShowArchive>
ShowArchive::fromBytes(const std::string &path, std::string bytes,
                       std::vector<RefusedEntry> &refused, std::string &why) {
  return fromBytes(path, std::move(bytes), refused, why, {});
}

std::unique_ptr<ShowArchive>
ShowArchive::fromBytes(const std::string &path, std::string bytes,
                       std::vector<RefusedEntry> &refused, std::string &why,
                       std::map<std::uint64_t, std::string> badnames) {
  std::unique_ptr<ShowArchive> archive(new ShowArchive);
  archive->archive = path;
  archive->memory = std::move(bytes);
  archive->badnames = std::move(badnames);
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t *source = zip_source_buffer_create(
      archive->memory.data(), archive->memory.size(), 0, &error);
  if (source)
    archive->zip = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (!archive->zip) {
    why = zip_error_strerror(&error);
    zip_error_fini(&error);
    if (source)
      zip_source_free(source);
    return nullptr;
  }
  zip_error_fini(&error);
  if (!archive->index(refused, why))
    return nullptr;
  return archive;
}

std::unique_ptr<ShowArchive>
ShowArchive::withBadNames(const std::string &path,
                          std::vector<RefusedEntry> &refused,
                          std::string &why) {
  std::string bytes;
  std::map<std::uint64_t, std::string> bad;
  if (!readPlainFile(path, largestTotal, bytes, why))
    return nullptr;
  if (!clearBadNames(bytes, bad)) {
    why = "Zip archive inconsistent";
    return nullptr;
  }
  return fromBytes(path, std::move(bytes), refused, why, std::move(bad));
}

ShowArchive::~ShowArchive() {
  if (zip)
    zip_discard(static_cast<zip_t *>(zip));
}

bool ShowArchive::index(std::vector<RefusedEntry> &refused, std::string &why) {
  zip_t *z = static_cast<zip_t *>(zip);
  const zip_int64_t count = zip_get_num_entries(z, 0);
  std::uint64_t total = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    if (zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &stat) != 0 ||
        !(stat.valid & ZIP_STAT_NAME) || !(stat.valid & ZIP_STAT_SIZE)) {
      std::string number = std::to_string(i);
      number.insert(0, "entry ");
      refused.push_back({number, zipError(z)});
      continue;
    }
    if (const auto bad = badnames.find(static_cast<std::uint64_t>(i));
        bad != badnames.end()) {
      refused.push_back({bad->second, "its name is not valid UTF-8"});
      continue;
    }
    const std::string name = stat.name;
    if (!name.empty() && (name.back() == '/' || name.back() == '\\'))
      continue; // a folder
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    zip_file_get_external_attributes(z, static_cast<zip_uint64_t>(i), 0,
                                     &system, &attributes);
    const char *named = refusal(name);
    std::string why_refused = named ? named : "";
    if (why_refused.empty() && system == ZIP_OPSYS_UNIX &&
        S_ISLNK(static_cast<mode_t>(attributes >> 16)))
      why_refused = "it is a link";
    if (why_refused.empty() && stat.size > largestEntry)
      why_refused = largerThan(largestEntry);
    if (!why_refused.empty()) {
      refused.push_back({name, why_refused});
      continue;
    }
    total += stat.size;
    if (total > largestTotal) {
      why = "its files add up to more than 2 GB";
      return false;
    }
    std::vector<std::string> parts;
    components(name, parts, false);
    entries.emplace(joined(parts), static_cast<std::uint64_t>(i));
    sizes[static_cast<std::uint64_t>(i)] = stat.size;
  }
  // The show: "Data" at the top, or one folder down.
  if (!entries.count("data/mirl .script"))
    for (const auto &[key, entry] : entries) {
      const std::size_t slash = key.find('/');
      if (slash != std::string::npos &&
          key.compare(slash, std::string::npos, "/data/mirl .script") == 0) {
        inner = key.substr(0, slash);
        break;
      }
    }
  return true;
}

std::int64_t ShowArchive::find(const std::string &path) const {
  if (!holds(path))
    return -1;
  std::vector<std::string> parts;
  if (!components(path.substr(archive.size() + 1), parts, true))
    return -1;
  const auto found = entries.find(joined(parts));
  return found == entries.end() ? -1 : static_cast<std::int64_t>(found->second);
}

bool ShowArchive::holds(const std::string &path) const {
  return path.size() > archive.size() &&
         path.compare(0, archive.size(), archive) == 0 &&
         (path[archive.size()] == '/' || path[archive.size()] == '\\');
}

std::vector<std::string> ShowArchive::entryNames() const {
  std::vector<std::string> names;
  for (const auto &[name, entry] : entries)
    names.push_back(name);
  return names;
}

bool ShowArchive::exists(const std::string &name) const {
  return find(name) >= 0;
}

std::string ShowArchive::onDisk(const std::string &) const { return archive; }

bool ShowArchive::read(const std::string &name, std::string &bytes,
                       ReadFailure &failure) const {
  bytes.clear();
  if (!holds(name)) {
    failure.why = "it lies outside the archive";
    return false;
  }
  failure.what = "cannot be read from the archive";
  const std::int64_t entry = find(name);
  if (entry < 0) {
    failure.why =
        "it is not in " + std::filesystem::path(archive).filename().string();
    return false;
  }
  zip_t *z = static_cast<zip_t *>(zip);
  const std::uint64_t size = sizes.at(static_cast<std::uint64_t>(entry));
  zip_file_t *file = zip_fopen_index(z, static_cast<zip_uint64_t>(entry), 0);
  if (!file) {
    failure.why = zipError(z);
    return false;
  }
  // Read up to one byte more than the entry claims, in pieces, so that
  // what is held grows with what the entry really gives: an entry that
  // holds more than its size says is refused like one that holds less.
  bytes.clear();
  char piece[65536];
  zip_int64_t n = 0;
  while (bytes.size() <= size &&
         (n = zip_fread(file, piece,
                        std::min<std::uint64_t>(sizeof piece,
                                                size + 1 - bytes.size()))) > 0)
    bytes.append(piece, static_cast<std::size_t>(n));
  const std::string error = n < 0 ? zip_file_strerror(file) : "";
  zip_fclose(file);
  if (n < 0 || bytes.size() != size) {
    failure.why = n < 0 ? error : "its size does not match the archive's";
    bytes.clear();
    return false;
  }
  return true;
}

} // namespace korvane
