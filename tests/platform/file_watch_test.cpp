// The file watch of korvane --watch: what counts as a change of a watched
// file, seen through the folder that holds it.

#include "platform/sdl/inotify_watch.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace korvane;

TEST(FileWatch, WritesCreationsRenamesAndDeletionsOfWatchedFiles) {
  korvane::test::TempFolder temp;
  const fs::path script = temp.path / "mirl .script";
  std::ofstream(script) << "<demo>";
  InotifyWatch watch;
  std::string error;
  ASSERT_TRUE(
      watch.watch({script.string(), (temp.path / "Env.PNG").string()}, error))
      << error;
  EXPECT_FALSE(watch.changed());

  std::ofstream(script, std::ios::app) << " <part> </part>";
  EXPECT_TRUE(watch.changed());
  EXPECT_FALSE(watch.changed()); // seen once

  // A file beside them is none of the watch's business.
  std::ofstream(temp.path / "debug.log") << "lines";
  EXPECT_FALSE(watch.changed());

  // Named in another case, made later: found as the show would find it.
  std::ofstream(temp.path / "env.png") << "picture";
  EXPECT_TRUE(watch.changed());

  // An editor's save: a new file renamed over the old one.
  std::ofstream(temp.path / "mirl .script.tmp") << "<demo> saved";
  EXPECT_FALSE(watch.changed());
  fs::rename(temp.path / "mirl .script.tmp", script);
  EXPECT_TRUE(watch.changed());

  fs::remove(script);
  EXPECT_TRUE(watch.changed());
}

TEST(FileWatch, ANewListReplacesTheOldAndAMissingFolderIsSaid) {
  korvane::test::TempFolder temp;
  InotifyWatch watch;
  std::string error;
  ASSERT_TRUE(watch.watch({(temp.path / "a.x").string()}, error));
  fs::create_directory(temp.path / "sub");
  ASSERT_TRUE(watch.watch({(temp.path / "sub" / "b.x").string()}, error));
  EXPECT_TRUE(watch.changed()); // "sub" was made in the folder above b.x's
  std::ofstream(temp.path / "a.x") << "old";
  EXPECT_FALSE(watch.changed());
  std::ofstream(temp.path / "sub" / "b.x") << "new";
  EXPECT_TRUE(watch.changed());

  // A missing folder is watched for in the folder above; where that is
  // missing too, it is said, and the other files are watched all the same.
  EXPECT_FALSE(watch.watch({(temp.path / "gone" / "deeper" / "c.x").string(),
                            (temp.path / "a.x").string()},
                           error));
  EXPECT_NE(error.find("gone"), std::string::npos) << error;
  std::ofstream(temp.path / "a.x") << "again";
  EXPECT_TRUE(watch.changed());
}

// A save made while the player reloads, before it renews the watch for the
// files the new show names, is seen at the next look.
TEST(FileWatch, ASaveBeforeTheWatchIsRenewedIsNotLost) {
  korvane::test::TempFolder temp;
  const fs::path script = temp.path / "mirl .script";
  std::ofstream(script) << "<demo>";
  InotifyWatch watch;
  std::string error;
  ASSERT_TRUE(watch.watch({script.string()}, error)) << error;
  std::ofstream(script, std::ios::app) << " <part> </part>";
  ASSERT_TRUE(
      watch.watch({script.string(), (temp.path / "a.png").string()}, error))
      << error;
  EXPECT_TRUE(watch.changed());
  EXPECT_FALSE(watch.changed());
}
