// .x files: every test model loads or fails cleanly, the optimiser and the
// clone keep the triangles, and the file's own counts are read.

#include "gfxutil/mesh.h"
#include "gfxutil/xfile_scan.h"
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
#include <tuple>

namespace fs = std::filesystem;
using namespace korvane;
using korvane::test::layerScript;
using korvane::test::parseBoth;

namespace {

const fs::path models = "/usr/share/assimp/models/X";

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

// A file of six vertices, two of them the same as others.
constexpr const char *plainQuad = "xof 0303txt 0032\n"
                                  "Mesh quad {\n 6;\n"
                                  " 0;0;0;, 1;0;0;, 0;1;0;, 1;0;0;, 1;1;0;,"
                                  " 0;1;0;;\n"
                                  " 2;\n 3;0,1,2;, 3;3,4,5;;\n}\n";

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

// A name that is a pipe nobody writes is refused at once, never waited on;
// an import that takes longer than it is given is given up.
TEST(MeshFile, AnImportThatHangsIsGivenUp) {
  korvane::test::TempFolder folder;
  const fs::path pipe = folder.path / "hang.x";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const fs::path cube = models / "test.x";
  for (const auto &[path, seconds, said] :
       {std::tuple{pipe, 1, "it is not a plain file"},
        std::tuple{cube, 0, "the importer did not finish within 0 s"}}) {
    Mesh mesh;
    std::vector<MeshMaterial> materials;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(loadMeshFromX(path.string(), mesh, materials, error, seconds));
    EXPECT_EQ(error, said);
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(10));
    EXPECT_EQ(mesh.faceCount(), 0u);
  }
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
