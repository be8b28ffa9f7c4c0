#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace korvane {

// Files Korvane writes (the log, stills, frames, captures, traces) are
// opened without following a link and only as plain files: a show folder
// from a stranger may hold a link where an output goes, or a FIFO that
// would block the player for ever.
enum class WriteMode {
  Replace, // create, or empty what is there
  Append,  // create, or add at the end
  Fresh    // create; fail when the name exists in any form, a link too
};

// An open descriptor, closed when it goes.
class FileDescriptor {
public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd(fd) {}
  ~FileDescriptor();
  FileDescriptor(FileDescriptor &&other) noexcept;
  FileDescriptor &operator=(FileDescriptor &&other) noexcept;
  FileDescriptor(const FileDescriptor &) = delete;
  FileDescriptor &operator=(const FileDescriptor &) = delete;

  int get() const { return fd; }
  explicit operator bool() const { return fd >= 0; }
  // Gives the descriptor up to a new owner.
  int release();

private:
  int fd = -1;
};

// The plain file at `path` opened for writing; an empty descriptor with
// `why` (for people) when it is a link, a device, a FIFO or a folder, or
// cannot be opened.
FileDescriptor openForWriting(const std::string &path, WriteMode mode,
                              std::string &why);

struct FileCloser {
  void operator()(std::FILE *file) const;
};
using OutputFile = std::unique_ptr<std::FILE, FileCloser>;
// The same as a stdio stream.
OutputFile openOutputFile(const std::string &path, WriteMode mode,
                          std::string &why);

// The largest file a show may name: what an archive's entry may hold.
inline constexpr std::uint64_t largestShowFile = 256ull << 20;

// Why a file cannot be read when there is nothing of that name.
inline constexpr const char *noSuchFile = "there is no such file";

// "it is larger than N MB", the reason a file over `limit` is refused.
std::string largerThan(std::uint64_t limit);

// The whole plain file at `path`, when it holds at most `limit` bytes.
// Devices, FIFOs and folders are refused without waiting on them, and a
// file that grows while it is read is refused once it passes the limit.
bool readPlainFile(const std::string &path, std::uint64_t limit,
                   std::string &bytes, std::string &why);

} // namespace korvane
