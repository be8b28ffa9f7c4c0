// Mesh layers on the null device: what loading logs and reports, what a
// draw sets, and the KTR dump.

#include "gfxutil/png_file.h"
#include "layers/mesh/mesh_layer.h"
#include "script_util.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace korvane;
using korvane::test::drawLayer;
using korvane::test::layerScript;
using korvane::test::parseBoth;

namespace {

const fs::path models = "/usr/share/assimp/models/X";

// Tests run inside a folder of their own, since the layers name their
// files from the current folder.
struct TempFolder : korvane::test::TempFolder {
  TempFolder() : korvane::test::TempFolder(true) {}
};

// Six vertices in the file, two of them the same as others: the importer
// merges them; the log gives the file's count. No material list: nothing
// is drawn.
constexpr const char *plainQuad = "xof 0303txt 0032\n"
                                  "Mesh quad {\n 6;\n"
                                  " 0;0;0;, 1;0;0;, 0;1;0;, 1;0;0;, 1;1;0;,"
                                  " 0;1;0;;\n"
                                  " 2;\n 3;0,1,2;, 3;3,4,5;;\n}\n";

} // namespace

TEST(MeshLayer, LoadLogLinesAndFailures) {
  TempFolder folder;
  fs::copy_file(models / "test_cube_text.x", folder.path / "Cube.X");
  Device device(nullptr);
  LayerKinds loaders;
  loaders.byType[LAYER_XFILE].load = [&device](const Layer &layer,
                                               const Logger &logger) {
    return loadMeshLayer(layer, {device, logger});
  };
  loaders.byType[LAYER_KTRFILE].load = [&device](const Layer &layer,
                                                 const Logger &logger) {
    dumpKtrFile(layer, {device, logger});
    return std::unique_ptr<LoadedLayer>();
  };
  auto parsed = parseBoth(
      "<demo> <part> length 10 "
      "<layer> type XFILE filename cube.x position 1 2 3 blend ONE ONE "
      "envmap SPHEREMAP2 env.png <shadow> filename s1.png </shadow> "
      "<shadow> filename s2.png </shadow> </layer> "
      "<layer> type XFILE filename missing.x </layer> </part>",
      &loaders);
  const std::vector<std::string> expected = {
      "FileName: cube.x",
      "Position: 1.000000, 2.000000, 3.000000",
      "SrcBlend: 2, DstBlend: 2",
      "Vertices: 24, Faces: 12",
      "Materials: 1",
      "CLONEMESH",
      "TEXTURE LOAD ERROR!",
      "SHADOW1",
      "TEXTURE LOAD ERROR! - SHADOW",
      "SHADOW2",
      "TEXTURE LOAD ERROR! - SHADOW",
      "--------------- LOADLAYER"};
  auto first = std::find(parsed.log.begin(), parsed.log.end(), expected[0]);
  ASSERT_NE(first, parsed.log.end());
  EXPECT_EQ(std::vector<std::string>(first, first + expected.size()), expected);
  // debug.log has the failure's own line and nothing after it; the reasons
  // go to people.
  auto failed = std::find(parsed.log.begin(), parsed.log.end(),
                          "D3DXLoadMeshFromX failed!");
  ASSERT_NE(failed, parsed.log.end());
  EXPECT_EQ(failed[1], "PartNumber: 1");
  std::vector<std::pair<Problem, std::string>> reported;
  for (const Report &report : parsed.reports)
    reported.emplace_back(report.id, report.file);
  EXPECT_EQ(reported, (std::vector<std::pair<Problem, std::string>>{
                          {Problem::PictureNotLoaded, "env.png"},
                          {Problem::ShadowPictureNotLoaded, "s1.png"},
                          {Problem::ShadowPictureNotLoaded, "s2.png"},
                          {Problem::MeshNotLoaded, "missing.x"}}));
  // The reason the people reading it get.
  EXPECT_EQ(parsed.reports[3].text,
            "Mesh file missing.x cannot be loaded: there is no such file");
  auto *mesh = parsed.made<MeshLayer>(0, 0);
  ASSERT_TRUE(mesh);
  EXPECT_EQ(mesh->materialnumber, 1u);
  EXPECT_EQ(mesh->clonemesh.mesh.fvf, 0x212u);
  EXPECT_TRUE(mesh->optimizedmesh.vertices);
  // The ambient colour is the diffuse one.
  EXPECT_EQ(mesh->materials[0].ambient.r, mesh->materials[0].diffuse.r);

  // Drawing: one subset per material; a shadow draw has blending off.
  auto &backend = static_cast<NullBackend &>(device.backend());
  Layer &layer = parsed.show->parts[0].layers[0];
  drawLayer(parsed, 0, 0);
  EXPECT_EQ(backend.draws, 1);
  EXPECT_EQ(backend.vertices, 36);
  EXPECT_EQ(backend.last.renderstate[D3DRS_ALPHABLENDENABLE], 1u);
  EXPECT_EQ(backend.last.stagestate[1][D3DTSS_TEXCOORDINDEX],
            D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
  drawLayer(parsed, 0, 0, 1);
  EXPECT_EQ(backend.last.renderstate[D3DRS_ALPHABLENDENABLE], 0u);
  // CUBEMAP: the view only.
  layer.envmap = ENVMAP_CUBEMAP;
  const int draws = backend.draws;
  drawLayer(parsed, 0, 0);
  EXPECT_EQ(backend.draws, draws);
}

TEST(MeshLayer, AFileWithoutMaterialsLoadsButDrawsNothing) {
  TempFolder folder;
  std::ofstream("quad.x") << plainQuad;
  Device device(nullptr);
  LayerKinds loaders;
  loaders.byType[LAYER_XFILE].load = [&device](const Layer &layer,
                                               const Logger &logger) {
    return loadMeshLayer(layer, {device, logger});
  };
  auto parsed = parseBoth(layerScript("type XFILE filename quad.x"), &loaders);
  EXPECT_TRUE(parsed.logged("Vertices: 6, Faces: 2"));
  EXPECT_TRUE(parsed.logged("Materials: 0"));
  auto *mesh = parsed.made<MeshLayer>(0, 0);
  ASSERT_TRUE(mesh);
  EXPECT_EQ(mesh->materialnumber, 0u);
  EXPECT_EQ(mesh->mesh.vertexcount, 6u); // the loaded mesh merges nothing
  auto &backend = static_cast<NullBackend &>(device.backend());
  drawLayer(parsed, 0, 0);
  EXPECT_EQ(backend.draws, 0);
}

TEST(MeshLayer, NoneAfterSphereMapKeepsTheGeneration) {
  TempFolder folder;
  fs::copy_file(models / "test_cube_text.x", folder.path / "cube.x");
  Device device(nullptr);
  LayerKinds loaders;
  loaders.byType[LAYER_XFILE].load = [&device](const Layer &layer,
                                               const Logger &logger) {
    return loadMeshLayer(layer, {device, logger});
  };
  auto parsed = parseBoth("<demo> <part> length 10 <layer> type XFILE "
                          "filename cube.x envmap SPHEREMAP </layer> <layer> "
                          "type XFILE filename cube.x </layer> </part>",
                          &loaders);
  drawLayer(parsed, 0, 0);
  drawLayer(parsed, 0, 1);
  auto &backend = static_cast<NullBackend &>(device.backend());
  EXPECT_EQ(backend.last.stagestate[0][D3DTSS_TEXCOORDINDEX],
            D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
  EXPECT_EQ(backend.last.stagestate[0][D3DTSS_TEXTURETRANSFORMFLAGS],
            D3DTTFF_COUNT2);
  EXPECT_EQ(backend.last.stagestate[0][D3DTSS_ADDRESSU], D3DTADDRESS_CLAMP);
}

TEST(MeshLayer, CloneOnlyForSphereMapTwoAndTheSecondShadowTexture) {
  TempFolder folder;
  fs::copy_file(models / "test_cube_text.x", folder.path / "cube.x");
  // Shadow textures of one colour each, red then blue (RGB rows).
  ASSERT_TRUE(writePng("red.png", 2, 2,
                       std::string(12, '\0').replace(0, 1, 1, '\xff')));
  ASSERT_TRUE(writePng("blue.png", 2, 2,
                       std::string("\0\0\xff", 3) + std::string(9, '\0')));
  Device device(nullptr);
  LayerKinds loaders;
  loaders.byType[LAYER_XFILE].load = [&device](const Layer &layer,
                                               const Logger &logger) {
    return loadMeshLayer(layer, {device, logger});
  };
  auto parsed =
      parseBoth("<demo> <part> length 10 "
                "<layer> type XFILE filename cube.x envmap SPHEREMAP "
                "<shadow> filename red.png </shadow> "
                "<shadow> filename blue.png </shadow> </layer> </part>",
                &loaders);
  EXPECT_FALSE(parsed.logged("CLONEMESH"));
  EXPECT_TRUE(parsed.logged("SHADOW1"));
  EXPECT_TRUE(parsed.logged("SHADOW2"));
  auto *mesh = parsed.made<MeshLayer>(0, 0);
  ASSERT_TRUE(mesh);
  EXPECT_TRUE(mesh->clonemesh.mesh.vertices.empty());
  EXPECT_FALSE(mesh->envmaptexture);
  ASSERT_TRUE(mesh->shadowtexture);
  // B, G, R, A of the first texel: the second block's blue.
  const std::uint8_t *texel = mesh->shadowtexture->pixels(0);
  EXPECT_EQ(texel[0], 255);
  EXPECT_EQ(texel[2], 0);
}

TEST(KtrFile, DumpsEveryRecordAndStopsAtTheEnd) {
  TempFolder folder;
  auto write = [](const char *name, std::uint32_t n, std::size_t records) {
    std::ofstream out(name, std::ios::binary);
    out << std::string(28, 'H');
    out.write(reinterpret_cast<const char *>(&n), 4);
    for (std::size_t i = 0; i < records; ++i) {
      const float value = 0.5f * static_cast<float>(i);
      out.write(reinterpret_cast<const char *>(&value), 4);
    }
  };
  write("zero.ktr", 0, 0);
  write("one.ktr", 1, 3 + 2 + 12);
  write("short.ktr", 2, 4);
  std::vector<Problem> problems;
  auto dump = [&problems](const char *name) {
    Layer layer;
    std::strcpy(layer.filename, name);
    korvane::test::ReportedProblems reported;
    Device device(nullptr);
    dumpKtrFile(layer, {device, reported});
    problems = reported.ids();
    return reported.lines;
  };
  const std::string rule = "-------------------";
  EXPECT_EQ(dump("zero.ktr"),
            (std::vector<std::string>{"VertexNum: 0", rule, rule, rule, rule}));
  const auto one = dump("one.ktr");
  ASSERT_EQ(one.size(), 11u);
  EXPECT_EQ(one[2], "0.000000, 0.500000, 1.000000");
  EXPECT_EQ(one[4], "1.500000, 2.000000");
  // The integer of each record is read as the bits of the float written.
  std::int32_t k;
  const float value = 2.5f;
  std::memcpy(&k, &value, 4);
  EXPECT_EQ(one[6], std::to_string(k) + ", 3.000000, 3.500000");
  EXPECT_EQ(one.back(), rule);
  const auto cut = dump("short.ktr");
  EXPECT_EQ(cut[2], "0.000000, 0.500000, 1.000000");
  EXPECT_EQ(cut.size(), 3u);
  EXPECT_EQ(problems, std::vector<Problem>{Problem::KtrCutShort});
  EXPECT_TRUE(dump("none.ktr").empty());
  EXPECT_EQ(problems, std::vector<Problem>{Problem::KtrUnreadable});
}
