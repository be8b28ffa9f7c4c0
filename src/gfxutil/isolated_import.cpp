#include "gfxutil/isolated_import.h"

#include "base/safe_file.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvane {
namespace {

// The most the child may send.
constexpr std::uint64_t largestTransfer = std::uint64_t(1) << 31;

bool writeAll(int fd, const void *data, std::size_t size) {
  const auto *p = static_cast<const std::uint8_t *>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

template <typename T> bool writeVector(int fd, const std::vector<T> &v) {
  const std::uint64_t count = v.size();
  return writeAll(fd, &count, sizeof count) &&
         writeAll(fd, v.data(), v.size() * sizeof(T));
}

void sendImport(int fd, const std::string &bytes, MeshImport import) {
  Mesh mesh;
  std::vector<MeshMaterial> materials;
  std::string error;
  const std::uint32_t ok = import(bytes, mesh, materials, error) ? 1 : 0;
  if (!writeAll(fd, &ok, sizeof ok))
    return;
  if (!ok) {
    writeVector(fd, std::vector<char>(error.begin(), error.end()));
    return;
  }
  const std::uint32_t head[4] = {mesh.fvf, mesh.stride, mesh.vertexcount,
                                 mesh.filevertexcount};
  if (!writeAll(fd, head, sizeof head) || !writeVector(fd, mesh.vertices) ||
      !writeVector(fd, mesh.indices) || !writeVector(fd, mesh.attributes))
    return;
  const std::uint64_t count = materials.size();
  if (!writeAll(fd, &count, sizeof count))
    return;
  for (const MeshMaterial &m : materials)
    if (!writeAll(fd, &m.material, sizeof m.material) ||
        !writeVector(
            fd, std::vector<char>(m.texturefile.begin(), m.texturefile.end())))
      return;
}

class Receiver {
public:
  Receiver(int fd, std::chrono::steady_clock::time_point deadline)
      : fd(fd), deadline(deadline) {}

  bool read(void *data, std::size_t size) {
    auto *p = static_cast<std::uint8_t *>(data);
    while (size > 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        late = true;
        return false;
      }
      pollfd wait{fd, POLLIN, 0};
      const int ready = ::poll(&wait, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR)
        continue;
      if (ready <= 0)
        continue; // the deadline is checked above
      const ssize_t n = ::read(fd, p, size);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        return false;
      p += n;
      size -= static_cast<std::size_t>(n);
      received += static_cast<std::uint64_t>(n);
    }
    return true;
  }

  template <typename T> bool readVector(std::vector<T> &v) {
    std::uint64_t count = 0;
    if (!read(&count, sizeof count) ||
        count > (largestTransfer - received) / sizeof(T))
      return false;
    v.resize(static_cast<std::size_t>(count));
    return read(v.data(), v.size() * sizeof(T));
  }

  bool late = false;

private:
  int fd;
  std::chrono::steady_clock::time_point deadline;
  std::uint64_t received = 0;
};

bool receiveImport(Receiver &in, Mesh &mesh,
                   std::vector<MeshMaterial> &materials, std::string &error) {
  std::uint32_t ok = 0;
  if (!in.read(&ok, sizeof ok))
    return false;
  if (!ok) {
    std::vector<char> text;
    if (!in.readVector(text))
      return false;
    error.assign(text.begin(), text.end());
    return true;
  }
  std::uint32_t head[4];
  if (!in.read(head, sizeof head) || !in.readVector(mesh.vertices) ||
      !in.readVector(mesh.indices) || !in.readVector(mesh.attributes))
    return false;
  mesh.fvf = head[0];
  mesh.stride = head[1];
  mesh.vertexcount = head[2];
  mesh.filevertexcount = head[3];
  std::uint64_t count = 0;
  if (!in.read(&count, sizeof count) || count > 0xFFFF)
    return false;
  materials.resize(static_cast<std::size_t>(count));
  for (MeshMaterial &m : materials) {
    std::vector<char> name;
    if (!in.read(&m.material, sizeof m.material) || !in.readVector(name))
      return false;
    m.texturefile.assign(name.begin(), name.end());
  }
  return true;
}

} // namespace

bool importIsolated(const std::string &bytes, MeshImport import, int seconds,
                    Mesh &mesh, std::vector<MeshMaterial> &materials,
                    std::string &error) {
  mesh = Mesh{};
  materials.clear();
  int channel[2];
  if (::pipe(channel) != 0) {
    error = "cannot start the importer";
    return false;
  }
  FileDescriptor reading(channel[0]), writing(channel[1]);
  const pid_t child = ::fork();
  if (child < 0) {
    error = "cannot start the importer";
    return false;
  }
  if (child == 0) {
    // A crash in the importer ends the child by its signal, which is how
    // the parent learns of it; handlers inherited from the parent (a crash
    // reporter, say) would only report the parent's state.
    for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
      std::signal(signal, SIG_DFL);
    reading = FileDescriptor();
    sendImport(writing.get(), bytes, import);
    ::_exit(0);
  }
  // The child's end closed here too, so that the child ending ends the read.
  writing = FileDescriptor();
  Receiver in(reading.get(),
              std::chrono::steady_clock::now() + std::chrono::seconds(seconds));
  const bool received = receiveImport(in, mesh, materials, error);
  reading = FileDescriptor();
  if (in.late)
    ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!received || mesh.indices.empty()) {
    const bool imported = received && error.empty();
    if (in.late)
      error = "the importer did not finish within " + std::to_string(seconds) +
              " s";
    else if (WIFSIGNALED(status))
      error = "the importer crashed (signal " +
              std::to_string(WTERMSIG(status)) + ")";
    else if (!received || imported)
      error = "the importer stopped before it sent the whole mesh";
    mesh = Mesh{};
    materials.clear();
    return false;
  }
  return true;
}

} // namespace korvane
