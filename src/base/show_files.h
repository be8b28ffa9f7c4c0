#pragma once

#include "base/safe_file.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// Why a file was not read, for people: `why`, and what befell it, told
// after the file's name: "cannot be opened", or, for an entry an archive
// holds but cannot give, "cannot be read from the archive".
struct ReadFailure {
  std::string why;
  const char *what = "cannot be opened";
};

// Where a show's files are read from: the disk, or a .zip archive read in
// place. A name is found relative to the current folder, or to the folder
// `filesIn` gives; an absolute name stands alone. Shows written on Windows
// name files with backslashes and in any case: both are resolved here, so
// that whoever reads a file knows neither its case nor where it lies.
class ShowFiles {
public:
  virtual ~ShowFiles() = default;
  // The whole file; false with why (`noSuchFile` where there is nothing of
  // that name) when it cannot be read.
  virtual bool read(const std::string &name, std::string &bytes,
                    ReadFailure &failure) const = 0;
  bool read(const std::string &name, std::string &bytes,
            std::string &why) const;
  // Whether anything is there, so that a file there that is refused is
  // told apart from a missing one.
  virtual bool exists(const std::string &name) const = 0;
  // The file on the disk whose change changes `name`: the file itself, or
  // the archive that holds it.
  virtual std::string onDisk(const std::string &name) const = 0;
};

// `files` answering the names given inside `folder` (a name `files`
// answers): a show's script names its files inside its Data folder.
std::shared_ptr<const ShowFiles> filesIn(std::shared_ptr<const ShowFiles> files,
                                         const std::string &folder);

// The disk. Only plain files of at most `largestShowFile` bytes are read,
// and with a root, only those that lie inside it once every link is
// followed: a show reads its own files and nothing else of the machine.
class DiskFiles final : public ShowFiles {
public:
  DiskFiles() = default;
  explicit DiskFiles(const std::string &root);
  using ShowFiles::read;
  bool read(const std::string &name, std::string &bytes,
            ReadFailure &failure) const override;
  bool exists(const std::string &name) const override;
  std::string onDisk(const std::string &name) const override;

private:
  std::string root; // canonical; empty: the whole disk
};
// The whole disk, for files a user names rather than a show.
const ShowFiles &diskFiles();
// The disk, for whoever keeps a show's files as a shared value.
std::shared_ptr<const ShowFiles> sharedDiskFiles();
// The show folder at `root` on the disk, and nothing outside it.
std::shared_ptr<const ShowFiles> showFolderFiles(const std::string &root);
// Whether the file begins as a .zip archive does.
bool looksLikeArchive(const std::string &path);

// An entry of an archive that is not played, and why.
struct RefusedEntry {
  std::string name, why;
};

// A .zip archive's entries, checked once when it is opened: names with
// "..", absolute names and links are refused, and so is an entry larger
// than `largestEntry`; an archive whose entries add up past `largestTotal`
// is refused whole.
class ShowArchive final : public ShowFiles {
public:
  static constexpr std::uint64_t largestEntry = largestShowFile;
  static constexpr std::uint64_t largestTotal = 2048ull << 20;

  // Null with `why` when the archive cannot be read or is refused. The
  // entries refused one by one go to `refused`.
  static std::unique_ptr<ShowArchive> open(const std::string &path,
                                           std::vector<RefusedEntry> &refused,
                                           std::string &why);
  // The same over bytes in memory, named `path`.
  static std::unique_ptr<ShowArchive>
  fromBytes(const std::string &path, std::string bytes,
            std::vector<RefusedEntry> &refused, std::string &why);
  ~ShowArchive() override;
  ShowArchive(const ShowArchive &) = delete;
  ShowArchive &operator=(const ShowArchive &) = delete;

  using ShowFiles::read;
  // Names inside the archive are ARCHIVE/inner/path, found without regard
  // to case or separator.
  bool read(const std::string &name, std::string &bytes,
            ReadFailure &failure) const override;
  bool exists(const std::string &name) const override;
  std::string onDisk(const std::string &name) const override;
  // The folder inside that holds "Data": "" at the top, or its name.
  const std::string &showFolder() const { return inner; }
  // The entries played, as lower-case names with "/" between folders.
  std::vector<std::string> entryNames() const;

private:
  ShowArchive() = default;
  bool index(std::vector<RefusedEntry> &refused, std::string &why);
  static std::unique_ptr<ShowArchive>
  fromBytes(const std::string &path, std::string bytes,
            std::vector<RefusedEntry> &refused, std::string &why,
            std::map<std::uint64_t, std::string> badnames);
  // An archive whose entry names claim UTF-8 but are not, made readable:
  // those entries are refused one by one instead of the whole archive.
  static std::unique_ptr<ShowArchive>
  withBadNames(const std::string &path, std::vector<RefusedEntry> &refused,
               std::string &why);
  // Whether the path lies inside the archive.
  bool holds(const std::string &path) const;
  // The entry a path inside the archive names, or -1.
  std::int64_t find(const std::string &path) const;

  void *zip = nullptr; // zip_t
  std::string archive; // its path
  std::string memory;  // the bytes of an archive opened from memory
  std::string inner;   // the show's folder inside
  std::map<std::string, std::uint64_t> entries;  // by lower-case name
  std::map<std::uint64_t, std::uint64_t> sizes;  // by entry
  std::map<std::uint64_t, std::string> badnames; // by entry: names escaped
};

} // namespace korvane
