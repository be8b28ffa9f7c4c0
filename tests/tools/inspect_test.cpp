#include "inspect/show_json.h"

#include "temp_folder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct ToolRun {
  int status = -1;
  std::string out;
};

// Runs the tool and collects its standard output, or its standard error
// when `errors` is set.
ToolRun inspect(const std::string &arguments, bool errors = false) {
  ToolRun run;
  const std::string command = std::string("'") + KORVANE_INSPECT + "' " +
                              arguments +
                              (errors ? " 2>&1 >/dev/null" : " 2>/dev/null");
  std::FILE *pipe = popen(command.c_str(), "r");
  if (!pipe)
    return run;
  char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
    run.out.append(chunk, got);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string quote(const fs::path &path) { return "'" + path.string() + "'"; }

struct TempScript {
  korvane::test::TempFolder folder;
  fs::path path = folder.path / "show.script";
  explicit TempScript(const std::string &text) { std::ofstream(path) << text; }
};

const fs::path exampleShow = fs::path(KORVANE_TESTS_DIR) / "data" / "example";

} // namespace

TEST(Inspect, ExampleShowPrintsTheTablesValues) {
  const ToolRun run = inspect(quote(exampleShow));
  ASSERT_EQ(run.status, 0);
  const json doc = json::parse(run.out);
  EXPECT_EQ(doc["resolution"], json({640, 480}));
  EXPECT_EQ(doc["fullscreen"], 0);
  EXPECT_EQ(doc["music"], 1);
  EXPECT_EQ(doc["showfps"], 1);
  EXPECT_EQ(doc["showtime"], 0);
  EXPECT_EQ(doc["musicfilename"], "soundtrack.mp3");
  EXPECT_EQ(doc["partnumber"], 1);
  const json &part = doc["parts"][0];
  EXPECT_EQ(part["starttime"], 0);
  EXPECT_EQ(part["endtime"], 10000);
  EXPECT_EQ(part["backgroundcolor"], json({0, 0, 64}));
  EXPECT_EQ(part["layernumber"], 1);
  const json &layer = part["layers"][0];
  EXPECT_EQ(layer["type"], 1);
  EXPECT_EQ(layer["filename"], "ship.x");
  EXPECT_EQ(layer["position"], json({0, 0, 5}));
  EXPECT_EQ(layer["scale"], json({1, 1, 1}));
  EXPECT_EQ(layer["color"], 4294967295u);
  EXPECT_EQ(layer["avispeed"], 1.0);
  EXPECT_EQ(layer["hastimeline"], 1);
  EXPECT_EQ(layer["haspositionkeys"], 1);
  EXPECT_EQ(layer["hasscalekeys"], 0);
  EXPECT_EQ(layer["hasrotationkeys"], 1);
  EXPECT_EQ(layer["hascolorkeys"], 1);
  EXPECT_EQ(layer["positionkeys"], json::parse("[[0,0,0,0],[2000,0,1,0]]"));
  EXPECT_EQ(layer["colorkeys"], json::parse("[[0,4294967295]]"));
  EXPECT_EQ(layer["rotationkeys"],
            json::parse("[[0,0,0,1],[500,0,0,2],[1000,0,0,1],[1500,0,0,2],"
                        "[2000,0,0,1],[2500,0,0,2]]"));
  EXPECT_EQ(layer["scalekeys"], json::array());
  EXPECT_EQ(layer["blobsize"].size(), 16u);
  EXPECT_EQ(layer["plane_a"].size(), 2u);
  EXPECT_EQ(
      doc["log"],
      json({"PartNumber: 0", "Length: 0 - 10000", "--------------- LOADLAYER",
            "LOADTIMELINE", "LoopStart 1000 - 2", "2 - 0 - 0 - 1", "LoopEnd",
            "2 - 2 - 0 - 1", "FileName: ship.x",
            "Position: 0.000000, 0.000000, 5.000000",
            "SrcBlend: 0, DstBlend: 0", "Vertices: 4, Faces: 2", "Materials: 1",
            "PartNumber: 1"}));
  EXPECT_EQ(doc["problems"], json::parse(R"([{"id": "MaterialPictureNotLoaded",
                             "file": "hull.png",
                             "message": "Picture file hull.png cannot be opened"}])"));
  // The loaders ran on the null device.
  EXPECT_EQ(layer["mesh"],
            json::parse(R"({"vertices": 4, "faces": 2, "materials": 1,
                            "textures": [{"name": "hull.png",
                                          "loaded": false}]})"));
  EXPECT_EQ(doc["warnings"], json::array());

  // The script file itself gives the same document.
  EXPECT_EQ(
      json::parse(inspect(quote(exampleShow / "Data" / "mirl .script")).out),
      doc);
}

TEST(Inspect, OptionsAndExitCodes) {
  const ToolRun settings = inspect("--settings-only " + quote(exampleShow));
  ASSERT_EQ(settings.status, 0);
  const json doc = json::parse(settings.out);
  EXPECT_EQ(doc["partnumber"], 0);
  EXPECT_EQ(doc["resolution"], json({640, 480}));
  EXPECT_EQ(doc["log"], json({"PartNumber: 0"}));

  // The example names a texture it does not have.
  const ToolRun example = inspect("--check " + quote(exampleShow), true);
  EXPECT_EQ(example.status, 3);
  EXPECT_EQ(example.out, (exampleShow / "Data" / "mirl .script").string() +
                             ": Picture file hull.png cannot be opened\n");
  // No script to read is what the other programs answer with 1 as well.
  EXPECT_EQ(inspect("/nonexistent/show").status, 1);
  EXPECT_EQ(inspect(quote(fs::path(KORVANE_TESTS_DIR))).status, 1);
  EXPECT_EQ(inspect("").status, 2);
  const ToolRun help = inspect("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: korvane-inspect"), std::string::npos);

  TempScript wrong("resolution 1 2\n<demo>\n");
  const ToolRun wrongRun = inspect(quote(wrong.path));
  EXPECT_EQ(wrongRun.status, 1);
  EXPECT_EQ(json::parse(wrongRun.out)["log"],
            json({"Scriptfile is wrong!", "Scriptfile is wrong!"}));

  TempScript warned("<demo>\nshowfps YES\n<part>\nlength x\n</part>\n");
  const ToolRun check = inspect("--check " + quote(warned.path), true);
  EXPECT_EQ(check.status, 3);
  EXPECT_EQ(
      check.out,
      warned.path.string() + ":2: unknown value 'YES' for showfps\n" +
          warned.path.string() + ":4: 'x' is not a whole number (length)\n" +
          warned.path.string() + ": nothing plays: no part has a length\n");
  const json warnedDoc = json::parse(inspect(quote(warned.path)).out);
  EXPECT_EQ(warnedDoc["warnings"][1],
            json({{"id", "NotAWholeNumber"},
                  {"line", 4},
                  {"message", "'x' is not a whole number (length)"}}));
}

TEST(Inspect, FloatsReadBackExactly) {
  for (float value : {0.1f, 1.0f / 3.0f, 1.5707964f, -2.5e-8f, 3.4028235e38f,
                      16777217.0f, 0.017453292f}) {
    const std::string text = json(korvane::jsonFloat(value)).dump();
    EXPECT_EQ(std::strtof(text.c_str(), nullptr), value) << text;
    EXPECT_LE(text.size(), 16u) << text;
  }
  EXPECT_EQ(json(korvane::jsonFloat(0.1f)).dump(), "0.100000001");
}

TEST(Inspect, TransformAndSampleOfALayer) {
  TempScript show("<demo> <part> length 5000 </part> <part> length 2000 "
                  "<layer> type PICTURE </layer> <layer> type XFILE "
                  "scale 1 1 1 rotation 0 2 0 color 255 0 0 255 <timeline> "
                  "0 position 0 0 0 1000 position 10 0 0 "
                  "0 color 0 0 0 255 1000 color 255 0 0 255 </timeline> "
                  "<shadow> plane_a 0 -1 0 plane_b 0 -1 1 plane_c 1 -1 0 "
                  "light 0 1 0 </shadow> </layer> </part>");
  const ToolRun normal =
      inspect("--transform 1,1 --at 250 " + quote(show.path));
  ASSERT_EQ(normal.status, 0);
  float m[16];
  ASSERT_EQ(std::sscanf(normal.out.c_str(),
                        "%f %f %f %f\n%f %f %f %f\n%f %f %f %f\n%f %f %f %f",
                        &m[0], &m[1], &m[2], &m[3], &m[4], &m[5], &m[6], &m[7],
                        &m[8], &m[9], &m[10], &m[11], &m[12], &m[13], &m[14],
                        &m[15]),
            16);
  // Half a radian about y, then moved to x = 2.5.
  EXPECT_FLOAT_EQ(m[0], std::cos(0.5f));
  EXPECT_FLOAT_EQ(m[2], -std::sin(0.5f));
  EXPECT_FLOAT_EQ(m[12], 2.5f);
  EXPECT_FLOAT_EQ(m[15], 1.0f);

  const ToolRun shadow =
      inspect("--transform 1,1 --at 250 --shadow 1 " + quote(show.path));
  ASSERT_EQ(shadow.status, 0);
  EXPECT_NE(shadow.out, normal.out);

  const ToolRun sample = inspect("--sample 1,1 --at 500 " + quote(show.path));
  ASSERT_EQ(sample.status, 0);
  const json doc = json::parse(sample.out);
  EXPECT_EQ(doc["color"], 0xFF7F0000u);
  EXPECT_FLOAT_EQ(doc["position"][0].get<float>(), 5.0f);
  EXPECT_EQ(doc["scale"], json({1, 1, 1}));
  EXPECT_EQ(doc["rotation"], json({0, 2, 0}));

  EXPECT_EQ(inspect("--sample 1,2 --at 0 " + quote(show.path)).status, 2);
  EXPECT_EQ(inspect("--sample 2,0 --at 0 " + quote(show.path)).status, 2);
  EXPECT_EQ(inspect("--sample 1,1 " + quote(show.path)).status, 2);
  EXPECT_EQ(inspect("--transform 1 --at 0 " + quote(show.path)).status, 2);
  EXPECT_EQ(
      inspect("--transform 1,1 --at 0 --shadow 3 " + quote(show.path)).status,
      2);
}

TEST(Inspect, BlobFrame) {
  TempScript show("<demo> <part> length 1000 <layer> type BLOB blobsnum 2 "
                  "<blobs> mul 0 0 0 type SPHERE mul 0.1 0 0 type CUBE "
                  "</blobs> </layer> <layer> type PICTURE </layer> </part>");
  const ToolRun run =
      inspect("--blob-frame 0,0 --ticks 1000,2000 " + quote(show.path));
  ASSERT_EQ(run.status, 0);
  const json doc = json::parse(run.out);
  const int triangles = doc["triangles"];
  EXPECT_GT(triangles, 50);
  ASSERT_EQ(doc["vertices"].size(), 3u * triangles);
  for (const json &vertex : doc["vertices"]) {
    ASSERT_EQ(vertex.size(), 6u);
    EXPECT_LE(std::fabs(vertex[0].get<double>()), 1.0);
  }
  // Reproducible, and the ticks matter.
  EXPECT_EQ(
      inspect("--blob-frame 0,0 --ticks 1000,2000 " + quote(show.path)).out,
      run.out);
  EXPECT_NE(
      inspect("--blob-frame 0,0 --ticks 1000,2500 " + quote(show.path)).out,
      run.out);
  EXPECT_EQ(inspect("--blob-frame 0,1 --ticks 0,0 " + quote(show.path)).status,
            2);
  EXPECT_EQ(inspect("--blob-frame 0,0 " + quote(show.path)).status, 2);
}

// --check on scripts that cannot be played: what it says (P standing for
// the script's path) and its exit status.
TEST(Inspect, CheckSaysWhyAShowCannotBePlayed) {
  const struct {
    const char *script;
    int status;
    std::vector<std::string> said;
  } cases[] = {
      {"", 1, {"P: the script is empty: it must begin with <demo>"}},
      {" /* a comment */\n",
       1,
       {"P: the script is empty: it must begin with <demo>"}},
      {"resolution 1 2\n<demo>\n",
       1,
       {"P:1: the script must begin with <demo>, not 'resolution'"}},
      {"<demo>\n<part>\nlength 0\n</part>\n",
       3,
       {"P:3: length 0: a part's length must be above 0 ms",
        "P: nothing plays: no part has a length"}},
      {"<demo>\n<part>\n</part>\n",
       3,
       {"P:2: the part has no length: it never plays",
        "P: nothing plays: no part has a length"}},
      {"<demo>\n<part>\nlength -5 </part>\n<part> length 1000 </part>\n",
       3,
       {"P:3: length -5: a part's length must be above 0 ms"}},
      {"<demo>\n<part>\nlength 1000\n",
       3,
       {"P:2: <part> is not closed before the end of the text"}},
      {"<demo> resolution 160 120\n",
       3,
       {"P: nothing plays: it holds no part"}},
      {"<demo>\n<part> length 1 </part>\n", 0, {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.script);
    TempScript script(c.script);
    std::string said;
    for (const std::string &line : c.said)
      said += (line[1] == ':' ? script.path.string() + line.substr(1) : line) +
              "\n";
    const ToolRun run = inspect("--check " + quote(script.path), true);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, said);
  }
}
