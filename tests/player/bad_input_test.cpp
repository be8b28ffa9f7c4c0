// Shows whose files are broken in every way we know of, played through
// korvane-render (under the sanitizers in the sanitizer build): each must
// play to its end with exit 0 and leave each failure's line in debug.log.

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;
using korvane::test::readFile;
using korvane::test::writeFile;

namespace {

std::string firstPart(const std::string &bytes, double share) {
  return bytes.substr(0, static_cast<std::size_t>(bytes.size() * share));
}

void makeVideo(const fs::path &path, const char *size) {
  const std::string command =
      std::string("ffmpeg -loglevel error -y -f lavfi -i "
                  "testsrc=s=") +
      size + ":r=25:d=1 -c:v mjpeg '" + path.string() +
      "' </dev/null >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

void appendChunk(std::string &png, const char *type, const std::string &data) {
  auto be32 = [&](std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
      png += static_cast<char>(v >> shift & 0xFF);
  };
  be32(static_cast<std::uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  be32(static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef *>(body.data()),
            static_cast<uInt>(body.size()))));
}

// A whole, valid black picture of side x side pixels, one bit a pixel.
std::string blackPng(std::uint32_t side) {
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  for (std::uint32_t v : {side, side})
    for (int shift = 24; shift >= 0; shift -= 8)
      header += static_cast<char>(v >> shift & 0xFF);
  header += std::string("\x01\x00\x00\x00\x00", 5); // 1-bit grey
  appendChunk(png, "IHDR", header);
  const std::string rows(std::size_t(side) * (1 + (side + 7) / 8), '\0');
  uLongf size = compressBound(static_cast<uLong>(rows.size()));
  std::string packed(size, '\0');
  compress2(reinterpret_cast<Bytef *>(packed.data()), &size,
            reinterpret_cast<const Bytef *>(rows.data()),
            static_cast<uLong>(rows.size()), 9);
  packed.resize(size);
  appendChunk(png, "IDAT", packed);
  appendChunk(png, "IEND", "");
  return png;
}

// A flat grid of columns x rows vertices as a text .x file.
std::string gridMesh(int columns, int rows) {
  std::ostringstream x;
  x << "xof 0303txt 0032\nMesh grid {\n" << columns * rows << ";\n";
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c)
      x << c * 0.001 << ";" << r * 0.001 << ";0.0;"
        << (r == rows - 1 && c == columns - 1 ? ";\n" : ",\n");
  const int faces = 2 * (columns - 1) * (rows - 1);
  x << faces << ";\n";
  int written = 0;
  auto face = [&](int a, int b, int c) {
    x << "3;" << a << "," << b << "," << c
      << (++written == faces ? ";;\n" : ";,\n");
  };
  for (int r = 0; r + 1 < rows; ++r)
    for (int c = 0; c + 1 < columns; ++c) {
      const int v = r * columns + c;
      face(v, v + columns, v + 1);
      face(v + 1, v + columns, v + columns + 1);
    }
  x << "}\n";
  return x.str();
}

struct Played {
  int status = -1;
  std::string log, errors;
  int frames = 0;
};

Played play(const fs::path &show, const std::string &times) {
  const fs::path out = show / "frames";
  const fs::path errors = show / "stderr.txt";
  const std::string command = std::string(KORVANE_RENDER) + " '" +
                              show.string() + "' --out '" + out.string() +
                              "' --at " + times + " --size 160x120 2>'" +
                              errors.string() + "' >/dev/null";
  Played played;
  const int status = std::system(command.c_str());
  played.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  played.log = readFile(show / "Data" / "debug.log");
  played.errors = readFile(errors);
  std::error_code ignored;
  for (const auto &entry : fs::directory_iterator(out, ignored))
    played.frames += entry.path().extension() == ".png";
  return played;
}

std::string layer(const std::string &type, const std::string &file,
                  const std::string &more = "") {
  return "<layer> type " + type + " filename " + file +
         " position 0 0 4 scale 1 1 1 size 1 1 " + more + " </layer>\n";
}

} // namespace

TEST(BadInput, EveryBrokenFileIsReportedAndTheShowPlaysOn) {
  const korvane::test::TempFolder scratch;
  const fs::path data = scratch.path / "Data";
  fs::create_directories(data);
  const fs::path source = KORVANE_SOURCE_DIR;

  const std::string ship = readFile(source / "tests/data/example/Data/ship.x");
  const std::string jpeg = readFile(source / "tests/fuzz/picture/copper.jpg");
  const std::string png = readFile(source / "tests/fuzz/picture/checker.png");
  const std::string ktr = readFile(source / "tests/fuzz/ktr/two_records.ktr");
  ASSERT_FALSE(ship.empty() || jpeg.empty() || png.empty() || ktr.empty());
  for (const char *name :
       {"empty.x", "empty.png", "empty.jpg", "empty.avi", "empty.ktr"})
    writeFile(data / name, "");
  writeFile(data / "truncated.x", firstPart(ship, 0.5));
  writeFile(data / "wrongtype.x", png);
  fs::copy_file(source / "tests/fuzz/mesh/importer_crash.x", data / "crash.x");
  writeFile(data / "big.x", gridMesh(280, 250)); // 70 000 vertices
  writeFile(data / "ship.x", ship);
  writeFile(data / "truncated.png", firstPart(png, 0.6));
  writeFile(data / "truncated.jpg", firstPart(jpeg, 0.5));
  writeFile(data / "wrongtype.png", ship);
  writeFile(data / "huge.png", blackPng(10000));
  writeFile(data / "sky.png", png);
  makeVideo(data / "whole.avi", "256x256");
  writeFile(data / "truncated.avi",
            firstPart(readFile(data / "whole.avi"), 0.3));
  writeFile(data / "wrongtype.avi", ship);
  makeVideo(data / "wrongsize.avi", "64x48");
  writeFile(data / "truncated.ktr", firstPart(ktr, 0.7));
  writeFile(data / "wrongtype.ktr", png);

  const std::string blob = "blobsnum 2 <blobs> mul 0.3 0 0 type SPHERE mul "
                           "-0.3 0 0 type SPHERE </blobs>";
  std::string script = "<demo> resolution 160 120 fullscreen DISABLE\n"
                       "<part> length 500\n";
  for (const char *name :
       {"missing.x", "empty.x", "truncated.x", "wrongtype.x", "crash.x"})
    script += layer("XFILE", name);
  script += layer("XFILE", "big.x", "envmap SPHEREMAP2 nothere.png");
  script += layer("XFILE", "ship.x",
                  "<shadow> filename noshadow.png light 0 1 0 </shadow>");
  script += "</part>\n<part> length 500\n";
  for (const char *name :
       {"missing.png", "empty.png", "truncated.png", "wrongtype.png",
        "huge.png", "empty.jpg", "truncated.jpg"})
    script += layer("PICTURE", name);
  script += "</part>\n<part> length 500\n";
  for (const char *name : {"missing.avi", "empty.avi", "truncated.avi",
                           "wrongtype.avi", "wrongsize.avi"})
    script += layer("AVIPICTURE", name);
  script += "</part>\n<part> length 500\n";
  for (const char *name :
       {"missing.ktr", "empty.ktr", "truncated.ktr", "wrongtype.ktr"})
    script += layer("KTRFILE", name);
  script += layer("BLOB", "nosky.png", blob);
  script += layer("BLOB", "wrongtype.png", blob);
  script += layer("BLOB", "sky.png", blob);
  script += "</part>\n";
  writeFile(data / "mirl .script", script);

  const Played played = play(scratch.path, "100,450,600,1100,1400,1900");
  EXPECT_EQ(played.status, 0) << played.errors;
  EXPECT_EQ(played.frames, 6) << played.errors;
  auto logged = [&](const std::string &line) {
    return played.log.find(line) != std::string::npos;
  };
  // debug.log keeps to its own lines; the reasons go to standard error, one
  // line each, after the problem's id, naming the file.
  auto told = [&](const std::string &line) {
    return played.errors.find("korvane: ") != std::string::npos &&
           played.errors.find(": " + line) != std::string::npos;
  };
  for (const std::string line :
       {"D3DXLoadMeshFromX failed!", "Vertices: 70000, Faces: 138942",
        "TEXTURE LOAD ERROR! - SHADOW", "TEXTURE LOAD ERROR!"})
    EXPECT_TRUE(logged(line)) << line;
  for (const std::string line : {
           "Mesh file missing.x cannot be loaded",
           "Mesh file empty.x cannot be loaded",
           "Mesh file truncated.x cannot be loaded",
           "Mesh file wrongtype.x cannot be loaded",
           "Mesh file crash.x cannot be loaded",
           "Picture file nothere.png cannot be opened",
           "Picture file missing.png cannot be opened",
           "Picture file empty.png is not a picture that can be read",
           "Picture file truncated.png is not a picture that can be read",
           "Picture file wrongtype.png is not a picture that can be read",
           "Picture file huge.png is larger than the largest texture",
           "Picture file empty.jpg is not a picture that can be read",
           "Video file missing.avi cannot be played: AVIFileOpen",
           "Video file empty.avi cannot be played",
           "Video file wrongtype.avi cannot be played",
           "Video file wrongsize.avi cannot be played: Texture: 256x256, "
           "Avi: 64x48",
           "KTR file missing.ktr cannot be read",
           "KTR file empty.ktr ends before its last record",
           "KTR file truncated.ktr ends before its last record",
           "KTR file wrongtype.ktr ends before its last record",
           "Picture file nosky.png cannot be opened",
       }) {
    EXPECT_TRUE(told(line)) << line << "\n" << played.errors;
    EXPECT_FALSE(logged(line)) << line;
  }
  // Pictures that decode in part play what they hold, silently.
  EXPECT_FALSE(told("Picture file truncated.jpg"));
  EXPECT_FALSE(told("Video file truncated.avi"));
  EXPECT_TRUE(logged("FPS: ")) << "the show did not reach its end";
}

TEST(BadInput, BrokenScriptsPlayWhatTheyHold) {
  const korvane::test::TempFolder scratch;
  auto show = [&](const std::string &name, const std::string &script) {
    const fs::path folder = scratch.path / name;
    fs::create_directories(folder / "Data");
    writeFile(folder / "Data" / "mirl .script", script);
    return folder;
  };

  // Every table overflowed, and names and words too long for their fields.
  std::string full =
      "<demo> resolution 160 120 musicfilename " + std::string(300, 'm') + "\n";
  for (int p = 0; p < 18; ++p) {
    full += "<part> length 100\n";
    for (int l = 0; l < 10; ++l) {
      full += "<layer> type BLOB filename " + std::string(200, 'f') +
              " blobsnum 40 <blobs>";
      for (int b = 0; b < 20; ++b)
        full += " mul 0.1 0.2 0.3 type SPHERE position 0 0 0 size 1";
      full += " </blobs>";
      for (int s = 0; s < 3; ++s)
        full += " <shadow> light 0 1 0 filename x.png </shadow>";
      full += " <timeline>";
      if (p == 0 && l == 0)
        for (int k = 0; k < 1100; ++k)
          full += " " + std::to_string(k) + " position 0 0 4";
      full += " </timeline> </layer>\n";
    }
    full += "</part>\n";
  }
  full += std::string(5000, 'w') + "\n";
  const Played overflowed = play(show("full", full), "50,1500,1650");
  // 1650 is past the end: the other two are drawn, and that one is said.
  EXPECT_EQ(overflowed.status, 1) << overflowed.errors;
  EXPECT_EQ(overflowed.frames, 2) << overflowed.errors;
  EXPECT_NE(overflowed.errors.find("--at 1650 is past the show's end (1600 "
                                   "ms)"),
            std::string::npos);
  for (const std::string line :
       {"part dropped: a show holds at most 16 parts",
        "layer dropped: a part holds at most 8 layers",
        "shadow dropped: a layer holds at most 2 shadows",
        "4 position entries dropped: a layer holds at most 16 blobs",
        "Blob count 40 cut to 16",
        "76 position keys dropped: a channel holds at most 1024",
        "filename of 200 characters cut to 127",
        "musicfilename of 300 characters cut to 127"}) {
    EXPECT_NE(overflowed.errors.find(line), std::string::npos) << line;
    EXPECT_EQ(overflowed.log.find(line), std::string::npos) << line;
  }
  EXPECT_NE(overflowed.errors.find("korvane: name-cut: Data/mirl .script:"),
            std::string::npos)
      << overflowed.errors;

  const std::string whole =
      "<demo> resolution 160 120 <part> length 300 "
      "backgroundcolor 0 0 200 " +
      layer("BLOB", "none.png", "blobsnum 1 <blobs> mul 0 0 0 </blobs>") +
      "</part>";
  // An empty script holds no frame: the times asked for are past its end.
  for (const auto &[name, script, status] :
       std::vector<std::tuple<std::string, std::string, int>>{
           {"empty", "", 1}, {"truncated", firstPart(whole, 0.6), 0}}) {
    SCOPED_TRACE(name);
    const Played played = play(show(name, script), "0,100");
    EXPECT_EQ(played.status, status) << played.errors;
    EXPECT_NE(played.log.find("FPS: "), std::string::npos);
  }
  // Not a script at all: the log says so, and a capture of it fails.
  const Played picture = play(show("wrongtype", blackPng(16)), "0");
  EXPECT_NE(picture.log.find("Scriptfile is wrong!"), std::string::npos);
  EXPECT_EQ(picture.status, 1);
  EXPECT_NE(picture.errors.find("korvane: script-not-demo: "),
            std::string::npos)
      << picture.errors;

  // The player fails too, for want of the resolution <demo> would give, or
  // of the script; a start that fails adds nothing to the log after the
  // settings pass (no frame-rate line).
  const fs::path nothing = scratch.path / "noscript";
  fs::create_directories(nothing / "Data");
  for (const auto &[folder, said] :
       std::vector<std::pair<fs::path, std::string>>{
           {show("wrongtype", blackPng(16)),
            "cannot play the show: the script gives no resolution"},
           {nothing, "cannot play the show: Data/mirl .script was not found "
                     "in " +
                         nothing.string()}}) {
    SCOPED_TRACE(folder.string());
    const std::string player =
        std::string("SDL_AUDIODRIVER=dummy ") + KORVANE_PLAYER + " '" +
        folder.string() + "' 2>'" + (scratch.path / "player.txt").string() +
        "' >/dev/null";
    const int status = std::system(player.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
    const std::string errors = readFile(scratch.path / "player.txt");
    EXPECT_NE(errors.find(said), std::string::npos) << errors;
    // Without a script to read, no log is even begun.
    const std::string log = readFile(folder / "Data" / "debug.log");
    if (folder == nothing)
      EXPECT_FALSE(fs::exists(folder / "Data" / "debug.log"));
    else
      EXPECT_EQ(log.rfind(" DEBUG.LOG \n --------- \n", 0), 0u) << log;
    EXPECT_EQ(log.find("FPS"), std::string::npos) << log;
  }

  const Played missing = play(nothing, "0");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.errors.find("no script at"), std::string::npos)
      << missing.errors;
}

// Unpacked from a Windows archive: the folder and the script in capitals.
TEST(BadInput, ShowFolderNamesInAnyCase) {
  const korvane::test::TempFolder scratch;
  const fs::path data = scratch.path / "DATA";
  fs::create_directories(data);
  writeFile(data / "MIRL .SCRIPT",
            "<demo> resolution 160 120 <part> length 500 "
            "backgroundcolor 0 200 0 </part>");
  const fs::path out = scratch.path / "frames";
  const std::string command = std::string(KORVANE_RENDER) + " '" +
                              scratch.path.string() + "' --out '" +
                              out.string() + "' --at 100 2>/dev/null >&2";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(fs::exists(out / "at_100.png"));
  EXPECT_NE(readFile(data / "debug.log").find("Length: 0 - 500"),
            std::string::npos);
}
