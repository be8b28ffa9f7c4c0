// Shows read from .zip archives: the show found in any case and with
// either separator, and the entries refused that a show must never reach.

#include "base/media_path.h"
#include "base/show_files.h"
#include "temp_folder.h"
#include "zip_writer.h"

#include <gtest/gtest.h>

using namespace korvane;
using namespace korvane::test;

TEST(ShowArchive, EntriesRefusedOneByOneAndTheShowFoundInside) {
  TempFolder temp;
  const std::string zip = (temp.path / "show.zip").string();
  ASSERT_TRUE(writeZip(
      zip, {{"MyShow\\DATA\\MIRL .SCRIPT", "<demo>"},
            {"MyShow/Data/../../escape.png", "x"},
            {"/etc/absolute.png", "x"},
            {"C:\\windows.png", "x"},
            {"MyShow/Data/link.png", "/etc/passwd", true},
            {"MyShow/Data/huge.png", std::string(64, 'h'), false, true},
            {"MyShow/Data/liar.png", std::string(64, 'l'), false, true},
            {"MyShow/Data/short.png", std::string(64, 's'), false, true},
            {"MyShow/Data/bad\xFF\xFE.png", "x"},
            {"MyShow/mirl .mp3", "music"}}));
  claimSize(zip, "MyShow/Data/huge.png", 300u << 20);
  {
    // The central directory says the name is UTF-8, which it is not:
    // libzip would refuse the whole archive.
    std::string bytes = readFile(zip);
    const std::size_t name = bytes.rfind("MyShow/Data/bad\xFF");
    ASSERT_NE(name, std::string::npos);
    bytes[name - 46 + 9] = static_cast<char>(bytes[name - 46 + 9] | 0x08);
    writeFile(zip, bytes);
  }
  claimSize(zip, "MyShow/Data/liar.png", 10);
  claimSize(zip, "MyShow/Data/short.png", 100);

  const ShowFolder folder = findShowFolder(zip);
  ASSERT_EQ(folder.unreadable, "");
  struct Refused {
    const char *name, *why;
  };
  const Refused expected[] = {
      {"MyShow/Data/../../escape.png", "its name climbs out of the archive"},
      {"/etc/absolute.png", "its name is absolute"},
      {"C:\\windows.png", "its name is absolute"},
      {"MyShow/Data/link.png", "it is a link"},
      {"MyShow/Data/huge.png", "it is larger than 256 MB"},
      {"MyShow/Data/bad\\xFF\\xFE.png", "its name is not valid UTF-8"},
  };
  ASSERT_EQ(folder.refused.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(folder.refused[i].name, expected[i].name);
    EXPECT_EQ(folder.refused[i].why, expected[i].why);
  }
  EXPECT_EQ(folder.root, zip + "/myshow");
  EXPECT_EQ(folder.log, zip + ".debug.log");

  const ShowFiles &files = *folder.files;
  std::string bytes, why;
  EXPECT_TRUE(files.read(folder.script, bytes, why)) << why;
  EXPECT_EQ(bytes, "<demo>");
  EXPECT_TRUE(files.read(folder.music, bytes, why));
  EXPECT_EQ(bytes, "music");
  // The script's names, found in Data.
  const auto named = filesIn(folder.files, folder.data);
  EXPECT_TRUE(named->exists("..\\DATA\\mirl .script"));
  // Refused, or lying about their size: never handed over.
  for (const char *name : {"link.png", "huge.png", "liar.png", "short.png"}) {
    EXPECT_FALSE(named->read(name, bytes, why)) << name;
    EXPECT_TRUE(bytes.empty()) << name;
  }
  // What the picture loader tells after the file's name.
  ReadFailure failure;
  EXPECT_FALSE(named->read("liar.png", bytes, failure));
  EXPECT_STREQ(failure.what, "cannot be read from the archive");
  EXPECT_EQ(failure.why, "its size does not match the archive's");
  ReadFailure outside;
  EXPECT_FALSE(named->read("/etc/hostname", bytes, outside));
  EXPECT_STREQ(outside.what, "cannot be opened");
  EXPECT_EQ(outside.why, "it lies outside the archive");
  EXPECT_FALSE(named->read("", bytes, why));
  EXPECT_EQ(why, "no file is named");
  EXPECT_FALSE(files.read(zip + "/../escape.png", bytes, why));
  EXPECT_FALSE(files.exists(temp.path.string() + "/other.zip/x"));
  EXPECT_FALSE(files.read(temp.path.string() + "/other.zip/x", bytes, why));
  EXPECT_EQ(why, "it lies outside the archive");
}

TEST(ShowArchive, ArchivesRefusedWhole) {
  TempFolder temp;
  const std::string bomb = (temp.path / "bomb.zip").string();
  std::vector<ZipEntry> entries;
  for (int i = 0; i < 9; ++i)
    entries.push_back({"Data/part" + std::to_string(i), "p", false, true});
  ASSERT_TRUE(writeZip(bomb, entries));
  for (int i = 0; i < 9; ++i)
    claimSize(bomb, "Data/part" + std::to_string(i), 250u << 20);
  const std::string text = (temp.path / "text.zip").string();
  std::ofstream(text) << "not an archive";
  const std::string cut = (temp.path / "cut.zip").string();
  ASSERT_TRUE(writeZip(cut, {{"Data/mirl .script", std::string(5000, 'x')}}));
  std::filesystem::resize_file(cut, 60);

  const std::pair<std::string, std::string> cases[] = {
      {bomb, "its files add up to more than 2 GB"},
      {text, "Not a zip archive"},
      {cut, "Not a zip archive"},
  };
  for (const auto &[path, why] : cases) {
    const ShowFolder folder = findShowFolder(path);
    EXPECT_EQ(folder.unreadable, why) << path;
    std::string bytes, failure;
    EXPECT_FALSE(folder.files->read(folder.script, bytes, failure)) << path;
  }
}
