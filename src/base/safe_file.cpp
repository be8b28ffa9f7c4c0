#include "base/safe_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace korvane {
namespace {

std::string systemError() { return std::strerror(errno); }

// Why a file that was opened is not one to read or write, or empty.
std::string notPlain(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0)
    return systemError();
  if (S_ISDIR(status.st_mode))
    return "it is a folder";
  if (!S_ISREG(status.st_mode))
    return "it is not a plain file";
  return "";
}

// Blocking again, for plain reads and writes.
void blocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0)
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

} // namespace

FileDescriptor::~FileDescriptor() {
  if (fd >= 0)
    ::close(fd);
}

FileDescriptor::FileDescriptor(FileDescriptor &&other) noexcept
    : fd(std::exchange(other.fd, -1)) {}

FileDescriptor &FileDescriptor::operator=(FileDescriptor &&other) noexcept {
  if (this != &other) {
    if (fd >= 0)
      ::close(fd);
    fd = std::exchange(other.fd, -1);
  }
  return *this;
}

int FileDescriptor::release() { return std::exchange(fd, -1); }

FileDescriptor openForWriting(const std::string &path, WriteMode mode,
                              std::string &why) {
  // Without O_TRUNC here: a FIFO or device found is refused untouched, and
  // a plain file is emptied only once it is known to be one.
  int flags =
      O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  if (mode == WriteMode::Append)
    flags |= O_APPEND;
  if (mode == WriteMode::Fresh)
    flags |= O_EXCL;
  FileDescriptor file(::open(path.c_str(), flags, 0644));
  if (!file) {
    why = errno == ELOOP    ? "it is a link"
          : errno == EEXIST ? "it exists"
          : errno == ENXIO  ? "it is not a plain file"
                            : systemError();
    return {};
  }
  why = notPlain(file.get());
  if (!why.empty())
    return {};
  if (mode == WriteMode::Replace && ::ftruncate(file.get(), 0) != 0) {
    why = systemError();
    return {};
  }
  blocking(file.get());
  return file;
}

void FileCloser::operator()(std::FILE *file) const { std::fclose(file); }

OutputFile openOutputFile(const std::string &path, WriteMode mode,
                          std::string &why) {
  FileDescriptor file = openForWriting(path, mode, why);
  if (!file)
    return nullptr;
  std::FILE *stream =
      ::fdopen(file.get(), mode == WriteMode::Append ? "a" : "w");
  if (!stream) {
    why = systemError();
    return nullptr;
  }
  file.release();
  return OutputFile(stream);
}

std::string largerThan(std::uint64_t limit) {
  return "it is larger than " + std::to_string(limit >> 20) + " MB";
}

bool readPlainFile(const std::string &path, std::uint64_t limit,
                   std::string &bytes, std::string &why) {
  bytes.clear();
  FileDescriptor file(
      ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!file) {
    why = errno == ENOENT ? noSuchFile : systemError();
    return false;
  }
  why = notPlain(file.get());
  struct stat status {};
  if (why.empty() && ::fstat(file.get(), &status) == 0 &&
      static_cast<std::uint64_t>(status.st_size) > limit)
    why = largerThan(limit);
  if (!why.empty())
    return false;
  blocking(file.get());
  bytes.reserve(static_cast<std::size_t>(status.st_size));
  char piece[65536];
  for (;;) {
    const ssize_t got = ::read(file.get(), piece, sizeof piece);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      why = systemError();
      break;
    }
    if (got == 0)
      return true;
    bytes.append(piece, static_cast<std::size_t>(got));
    if (bytes.size() > limit) {
      why = largerThan(limit);
      break;
    }
  }
  bytes.clear();
  return false;
}

} // namespace korvane
