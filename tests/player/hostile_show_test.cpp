// Shows made to harm whoever opens them, played through korvane-render and
// korvane-inspect: each is refused file by file with a message naming the
// file and the reason, never hangs, never grows without bound, and nothing
// outside the show and its own outputs is read into the picture or written.

#include "temp_folder.h"
#include "zip_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;
using korvane::test::readFile;
using korvane::test::writeFile;

namespace {

std::string picture(const std::string &file) {
  return "<layer> type PICTURE filename " + file +
         " size 2 2 position 0 0 4 scale 1 1 1 </layer>\n";
}

std::string script(const std::string &layers) {
  return "<demo> resolution 160 120 <part> length 500 " + layers + "</part>";
}

// Every file under `folder` with its contents, links as their targets.
std::string snapshot(const fs::path &folder) {
  std::string all;
  for (const auto &entry : fs::recursive_directory_iterator(folder)) {
    all += entry.path().string() + "\n";
    if (entry.is_symlink())
      all += fs::read_symlink(entry.path()).string() + "\n";
    else if (entry.is_regular_file())
      all += readFile(entry.path()) + "\n";
  }
  return all;
}

struct Case {
  const char *name;
  // Makes the show in `show`, with `outside` beside it holding the user's
  // own files; returns the path to play (the folder, or an archive).
  std::function<fs::path(const fs::path &show, const fs::path &outside)> make;
  int status;           // korvane-render's exit status
  const char *said;     // on standard error
  bool pictureFromHome; // the outside picture must not reach the frame
};

fs::path folderShow(const fs::path &show, const std::string &text) {
  fs::create_directories(show / "Data");
  writeFile(show / "Data" / "mirl .script", text);
  return show;
}

} // namespace

TEST(HostileShow, IsRefusedFileByFileAndTouchesNothingOutside) {
  const std::string red =
      readFile(fs::path(KORVANE_SOURCE_DIR) / "tests/fuzz/picture/checker.png");
  ASSERT_FALSE(red.empty());
  const std::vector<Case> cases = {
      {"log through a link",
       [](const fs::path &show, const fs::path &outside) {
         folderShow(show, script(""));
         fs::create_symlink(outside / "bashrc", show / "Data" / "debug.log");
         return show;
       },
       0, "log-not-written", false},
      {"log is a FIFO",
       [](const fs::path &show, const fs::path &) {
         folderShow(show, script(""));
         ::mkfifo((show / "Data" / "debug.log").c_str(), 0644);
         return show;
       },
       0, "it is not a plain file", false},
      {"absolute name",
       [](const fs::path &show, const fs::path &outside) {
         return folderShow(show,
                           script(picture((outside / "home.png").string())));
       },
       0, "home.png cannot be opened: it lies outside the show folder", true},
      {"climbing name",
       [](const fs::path &show, const fs::path &) {
         return folderShow(show, script(picture("../../outside/home.png")));
       },
       0, "cannot be opened: it lies outside the show folder", true},
      {"link inside the show to a file outside",
       [](const fs::path &show, const fs::path &outside) {
         folderShow(show, script(picture("sky.png")));
         fs::create_symlink(outside / "home.png", show / "Data" / "sky.png");
         return show;
       },
       0, "sky.png cannot be opened: it lies outside the show folder", true},
      {"a device",
       [](const fs::path &show, const fs::path &) {
         return folderShow(show, script(picture("/dev/zero")));
       },
       0, "/dev/zero cannot be opened: it lies outside the show folder", false},
      {"a device linked in",
       [](const fs::path &show, const fs::path &) {
         folderShow(show, script(picture("zero.png")));
         fs::create_symlink("/dev/zero", show / "Data" / "zero.png");
         return show;
       },
       0, "zero.png cannot be opened: it lies outside the show folder", false},
      {"a FIFO as a layer's file",
       [](const fs::path &show, const fs::path &) {
         folderShow(show, script(picture("pipe.png")));
         ::mkfifo((show / "Data" / "pipe.png").c_str(), 0644);
         return show;
       },
       0, "pipe.png cannot be opened: it is not a plain file", false},
      {"a FIFO as the script",
       [](const fs::path &show, const fs::path &) {
         fs::create_directories(show / "Data");
         ::mkfifo((show / "Data" / "mirl .script").c_str(), 0644);
         return show;
       },
       1, "cannot be read: it is not a plain file", false},
      {"a huge file",
       [](const fs::path &show, const fs::path &) {
         folderShow(show, script(picture("huge.png")));
         std::ofstream(show / "Data" / "huge.png").put('x');
         fs::resize_file(show / "Data" / "huge.png", 300ull << 20); // sparse
         return show;
       },
       0, "huge.png cannot be opened: it is larger than 256 MB", false},
      {"Data linked to a folder outside",
       [](const fs::path &show, const fs::path &outside) {
         folderShow(outside / "theirs", script(""));
         fs::create_directories(show);
         fs::create_directory_symlink(outside / "theirs" / "Data",
                                      show / "Data");
         return show;
       },
       1, "cannot be read: it lies outside the show folder", false},
      {"absolute name in an archive",
       [](const fs::path &show, const fs::path &outside) {
         fs::create_directories(show);
         korvane::test::writeZip(
             (show / "show.zip").string(),
             {{"Data/mirl .script",
               script(picture((outside / "home.png").string()))}});
         return show / "show.zip";
       },
       0, "home.png cannot be opened: it lies outside the archive", true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const korvane::test::TempFolder scratch;
    const fs::path outside = scratch.path / "outside";
    fs::create_directories(outside);
    writeFile(outside / "bashrc", "echo hello\n");
    writeFile(outside / "home.png", red);
    const fs::path played = c.make(scratch.path / "show", outside);
    const std::string before = snapshot(outside);
    const fs::path errors = scratch.path / "stderr.txt";
    const fs::path frames = scratch.path / "frames";
    // `timeout`: a hang fails the case instead of the whole run.
    const std::string command =
        "timeout 60 '" + std::string(KORVANE_RENDER) + "' '" + played.string() +
        "' --out '" + frames.string() + "' --at 250 --size 160x120 2>'" +
        errors.string() + "' >/dev/null";
    const int status = std::system(command.c_str());
    const std::string said = readFile(errors);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status) << said;
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
    EXPECT_TRUE(snapshot(outside) == before);
    if (c.pictureFromHome) {
      // The frame is that of a show whose picture is missing.
      const fs::path plain =
          folderShow(scratch.path / "plain", script(picture("none.png")));
      const std::string command = "'" + std::string(KORVANE_RENDER) + "' '" +
                                  plain.string() + "' --out '" +
                                  (plain / "f").string() +
                                  "' --at 250 --size 160x120 >/dev/null 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0);
      const std::string frame = readFile(frames / "at_250.png");
      EXPECT_FALSE(frame.empty());
      EXPECT_TRUE(frame == readFile(plain / "f" / "at_250.png"));
    }
  }
  // Nothing grew without bound: the largest child stayed small.
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  EXPECT_LT(usage.ru_maxrss, 1024 * 1024) << "KB";
}
