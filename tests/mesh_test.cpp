// Mesh loading, optimisation and the KTR dump, on the null device.

#include "gfxutil/mesh.h"
#include "gfxutil/png_file.h"
#include "gfxutil/xfile_scan.h"
#include "layers/mesh/mesh_layer.h"
#include "script_util.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace korvane;
using korvane::test::layerScript;
using korvane::test::parseBoth;

namespace {

const fs::path models = "/usr/share/assimp/models/X";

// Tests run inside a folder of their own, since the layers name their
// files from the current folder.
struct TempFolder : korvane::test::TempFolder {
  TempFolder() : korvane::test::TempFolder(true) {}
};

using Corner = std::array<float, 3>;

// Each triangle by its corner positions, rotated to start at the smallest,
// so that reordering vertices, faces or corners does not change it.
std::multiset<std::array<Corner, 3>> triangles(const Mesh &mesh) {
  std::multiset<std::array<Corner, 3>> out;
  for (std::uint32_t f = 0; f < mesh.faceCount(); ++f) {
    std::array<Corner, 3> corner;
    for (int k = 0; k < 3; ++k)
      std::memcpy(corner[k].data(),
                  mesh.vertices.data() +
                      std::size_t(mesh.indices[3 * f + k]) * mesh.stride,
                  12);
    std::rotate(corner.begin(), std::min_element(corner.begin(), corner.end()),
                corner.end());
    out.insert(corner);
  }
  return out;
}

} // namespace

TEST(MeshFile, EveryTestModelLoadsOrFailsCleanly) {
  ASSERT_TRUE(fs::is_directory(models));
  int loaded = 0;
  for (const auto &entry : fs::directory_iterator(models)) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".x" && ext != ".X")
      continue;
    SCOPED_TRACE(entry.path().string());
    Mesh mesh;
    std::vector<MeshMaterial> materials;
    std::string error;
    if (!loadMeshFromX(entry.path().string(), mesh, materials, error)) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    ++loaded;
    ASSERT_GT(mesh.faceCount(), 0u);
    ASSERT_EQ(mesh.attributes.size(), mesh.faceCount());
    ASSERT_EQ(mesh.adjacency.size(), 3u * mesh.faceCount());
    for (std::uint32_t index : mesh.indices)
      ASSERT_LT(index, mesh.vertexcount);
    std::uint32_t faces = 0;
    for (const Mesh::Subset &subset : mesh.subsets)
      faces += subset.facecount;
    EXPECT_EQ(faces, mesh.faceCount());
    // The optimised copy has the same triangles in the same subsets.
    const Mesh optimized = optimizeMesh(mesh);
    EXPECT_EQ(optimized.faceCount(), mesh.faceCount());
    EXPECT_EQ(optimized.attributes, mesh.attributes);
    EXPECT_EQ(triangles(optimized), triangles(mesh));
    const Mesh clone = cloneMesh(optimized, 0x212);
    EXPECT_EQ(clone.stride, 40u);
    EXPECT_EQ(clone.vertexcount, optimized.vertexcount);
  }
  EXPECT_GE(loaded, 6);

  // The cube in its three encodings: the same 12 faces.
  for (const char *name :
       {"test_cube_text.x", "test_cube_binary.x", "test_cube_compressed.x"}) {
    Mesh mesh;
    std::vector<MeshMaterial> materials;
    std::string error;
    ASSERT_TRUE(loadMeshFromX((models / name).string(), mesh, materials, error))
        << name << ": " << error;
    EXPECT_EQ(mesh.faceCount(), 12u) << name;
    // Neighbours name each other.
    for (std::uint32_t f = 0; f < mesh.faceCount(); ++f)
      for (int e = 0; e < 3; ++e) {
        const std::uint32_t g = mesh.adjacency[3 * f + e];
        if (g == 0xFFFFFFFFu)
          continue;
        const auto *back = &mesh.adjacency[3 * g];
        EXPECT_TRUE(back[0] == f || back[1] == f || back[2] == f) << name;
      }
  }
  Mesh colored;
  std::vector<MeshMaterial> materials;
  std::string error;
  ASSERT_TRUE(
      loadMeshFromX((models / "kwxport_test_cubewithvcolors.x").string(),
                    colored, materials, error));
  EXPECT_TRUE(colored.fvf & D3DFVF_DIFFUSE);
  EXPECT_FALSE(loadMeshFromX("/nonexistent.x", colored, materials, error));
}

// The import runs in a child that is given up after its time: here a name
// that is a pipe nobody writes, so the child waits for ever.
TEST(MeshFile, AnImportThatHangsIsGivenUp) {
  TempFolder folder;
  const fs::path pipe = folder.path / "hang.x";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  Mesh mesh;
  std::vector<MeshMaterial> materials;
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(loadMeshFromX(pipe.string(), mesh, materials, error, 1));
  EXPECT_EQ(error, "the importer did not finish within 1 s");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(mesh.faceCount(), 0u);
}

TEST(MeshLayer, LoadLogLinesAndFailures) {
  TempFolder folder;
  fs::copy_file(models / "test_cube_text.x", folder.path / "Cube.X");
  Device device(nullptr);
  LayerLoaders loaders;
  loaders.byType[LAYER_XFILE] = [&device](Layer &layer) {
    return loadMeshLayer(layer, device);
  };
  loaders.byType[LAYER_KTRFILE] = [](Layer &layer) {
    return dumpKtrFile(layer);
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
  // The reason the people reading it get, from the importer.
  EXPECT_EQ(parsed.reports[3].text, "Mesh file missing.x cannot be loaded: "
                                    "Unable to open file \"missing.x\".");
  auto *mesh = dynamic_cast<MeshLayerResources *>(
      parsed.show->parts[0].layers[0].resources.get());
  ASSERT_TRUE(mesh);
  EXPECT_EQ(mesh->materialnumber, 1u);
  EXPECT_EQ(mesh->clonemesh.mesh.fvf, 0x212u);
  EXPECT_TRUE(mesh->optimizedmesh.vertices);
  // The ambient colour is the diffuse one.
  EXPECT_EQ(mesh->materials[0].ambient.r, mesh->materials[0].diffuse.r);

  // Drawing: one subset per material; a shadow draw has blending off.
  auto &backend = static_cast<NullBackend &>(device.backend());
  Layer &layer = parsed.show->parts[0].layers[0];
  renderMeshLayer(layer, 0, device);
  EXPECT_EQ(backend.draws, 1);
  EXPECT_EQ(backend.vertices, 36);
  EXPECT_EQ(backend.last.renderstate[D3DRS_ALPHABLENDENABLE], 1u);
  EXPECT_EQ(backend.last.stagestate[1][D3DTSS_TEXCOORDINDEX],
            D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
  layer.shadowpass = 1;
  renderMeshLayer(layer, 0, device);
  EXPECT_EQ(backend.last.renderstate[D3DRS_ALPHABLENDENABLE], 0u);
  // A layer of another kind: nothing at all.
  Layer other;
  other.type = LAYER_PICTURE;
  EXPECT_FALSE(renderMeshLayer(other, 0, device));
  // CUBEMAP: the view only.
  layer.envmap = ENVMAP_CUBEMAP;
  const int draws = backend.draws;
  EXPECT_FALSE(renderMeshLayer(layer, 0, device));
  EXPECT_EQ(backend.draws, draws);
}

// Six vertices in the file, two of them the same as others: the importer
// merges them; the log gives the file's count. No material list: nothing
// is drawn.
constexpr const char *plainQuad = "xof 0303txt 0032\n"
                                  "Mesh quad {\n 6;\n"
                                  " 0;0;0;, 1;0;0;, 0;1;0;, 1;0;0;, 1;1;0;,"
                                  " 0;1;0;;\n"
                                  " 2;\n 3;0,1,2;, 3;3,4,5;;\n}\n";

TEST(MeshLayer, AFileWithoutMaterialsLoadsButDrawsNothing) {
  TempFolder folder;
  std::ofstream("quad.x") << plainQuad;
  Device device(nullptr);
  LayerLoaders loaders;
  loaders.byType[LAYER_XFILE] = [&device](Layer &layer) {
    return loadMeshLayer(layer, device);
  };
  auto parsed = parseBoth(layerScript("type XFILE filename quad.x"), &loaders);
  EXPECT_TRUE(parsed.logged("Vertices: 6, Faces: 2"));
  EXPECT_TRUE(parsed.logged("Materials: 0"));
  auto *mesh = dynamic_cast<MeshLayerResources *>(
      parsed.show->parts[0].layers[0].resources.get());
  ASSERT_TRUE(mesh);
  EXPECT_EQ(mesh->materialnumber, 0u);
  EXPECT_EQ(mesh->mesh.vertexcount, 4u); // merged for drawing
  auto &backend = static_cast<NullBackend &>(device.backend());
  EXPECT_TRUE(renderMeshLayer(parsed.show->parts[0].layers[0], 0, device));
  EXPECT_EQ(backend.draws, 0);
}

TEST(MeshFile, ScanReadsTheFilesOwnCounts) {
  auto scan = [](const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    return scanXFile(bytes.data(), bytes.size());
  };
  for (const char *name :
       {"test_cube_text.x", "test_cube_binary.x", "test_cube_compressed.x"}) {
    const XFileCounts counts = scan(models / name);
    EXPECT_TRUE(counts.read) << name;
    EXPECT_EQ(counts.vertices, 24u) << name;
    EXPECT_TRUE(counts.materiallist) << name;
  }
  const std::string quad = plainQuad;
  const XFileCounts plain = scanXFile(
      reinterpret_cast<const std::uint8_t *>(quad.data()), quad.size());
  EXPECT_TRUE(plain.read);
  EXPECT_EQ(plain.vertices, 6u);
  EXPECT_FALSE(plain.materiallist);
  // Cut short or not a .x file at all: nothing read, nothing claimed.
  std::ifstream in(models / "test_cube_compressed.x", std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  for (std::size_t size : {bytes.size() / 2, std::size_t(19), std::size_t(3)})
    EXPECT_FALSE(scanXFile(bytes.data(), size).read) << size;
  bytes[20 + 4] = 'X'; // the first block's mark
  EXPECT_FALSE(scanXFile(bytes.data(), bytes.size()).read);
  const std::string png = "\x89PNG\r\n\x1a\n0000000000";
  EXPECT_FALSE(
      scanXFile(reinterpret_cast<const std::uint8_t *>(png.data()), png.size())
          .read);
}

TEST(MeshLayer, NoneAfterSphereMapKeepsTheGeneration) {
  TempFolder folder;
  fs::copy_file(models / "test_cube_text.x", folder.path / "cube.x");
  Device device(nullptr);
  LayerLoaders loaders;
  loaders.byType[LAYER_XFILE] = [&device](Layer &layer) {
    return loadMeshLayer(layer, device);
  };
  auto parsed = parseBoth("<demo> <part> length 10 <layer> type XFILE "
                          "filename cube.x envmap SPHEREMAP </layer> <layer> "
                          "type XFILE filename cube.x </layer> </part>",
                          &loaders);
  renderMeshLayer(parsed.show->parts[0].layers[0], 0, device);
  renderMeshLayer(parsed.show->parts[0].layers[1], 0, device);
  auto &backend = static_cast<NullBackend &>(device.backend());
  EXPECT_EQ(backend.last.stagestate[0][D3DTSS_TEXCOORDINDEX],
            D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
  EXPECT_EQ(backend.last.stagestate[0][D3DTSS_TEXTURETRANSFORMFLAGS],
            D3DTTFF_COUNT2);
  EXPECT_EQ(backend.last.stagestate[0][D3DTSS_ADDRESSU], D3DTADDRESS_CLAMP);
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
    std::vector<std::string> log;
    korvane::test::ReportedProblems reported;
    setLogCapture(&log);
    dumpKtrFile(layer);
    setLogCapture(nullptr);
    problems = reported.ids();
    return log;
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

TEST(MeshLayer, CloneOnlyForSphereMapTwoAndTheSecondShadowTexture) {
  TempFolder folder;
  fs::copy_file(models / "test_cube_text.x", folder.path / "cube.x");
  // Shadow textures of one colour each, red then blue (RGB rows).
  ASSERT_TRUE(writePng("red.png", 2, 2,
                       std::string(12, '\0').replace(0, 1, 1, '\xff')));
  ASSERT_TRUE(writePng("blue.png", 2, 2,
                       std::string("\0\0\xff", 3) + std::string(9, '\0')));
  Device device(nullptr);
  LayerLoaders loaders;
  loaders.byType[LAYER_XFILE] = [&device](Layer &layer) {
    return loadMeshLayer(layer, device);
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
  auto *mesh = dynamic_cast<MeshLayerResources *>(
      parsed.show->parts[0].layers[0].resources.get());
  ASSERT_TRUE(mesh);
  EXPECT_TRUE(mesh->clonemesh.mesh.vertices.empty());
  EXPECT_FALSE(mesh->envmaptexture);
  ASSERT_TRUE(mesh->shadowtexture);
  // B, G, R, A of the first texel: the second block's blue.
  const std::uint8_t *texel = mesh->shadowtexture->pixels(0);
  EXPECT_EQ(texel[0], 255);
  EXPECT_EQ(texel[2], 0);
}
