// .x files: every test model loads or fails cleanly, the optimiser and the
// clone keep the triangles, and files load as the utility library loads
// them: fans, split vertices, frame transforms, each mesh's materials.

#include "device/vertex_format.h"
#include "gfxutil/mesh.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;
using namespace korvane;
using korvane::test::TempFolder;

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

namespace {

const fs::path xfiles = fs::path(KORVANE_TESTS_DIR) / "data" / "xfiles";

struct Loaded {
  Mesh mesh;
  std::vector<MeshMaterial> materials;
  VertexLayout layout;
  Corner at(std::uint32_t vertex, int offset) const {
    Corner c;
    std::memcpy(
        c.data(),
        mesh.vertices.data() + std::size_t(vertex) * mesh.stride + offset, 12);
    return c;
  }
  std::vector<std::uint32_t> triangle(std::uint32_t face) const {
    return {mesh.indices.begin() + 3 * face,
            mesh.indices.begin() + 3 * face + 3};
  }
};

Loaded load(const char *name) {
  Loaded out;
  std::string error;
  EXPECT_TRUE(
      loadMeshFromX((xfiles / name).string(), out.mesh, out.materials, error))
      << name << ": " << error;
  out.layout = vertexLayout(out.mesh.fvf);
  return out;
}

} // namespace

// Polygons are fans from their first corner, a concave one too.
TEST(MeshFile, PolygonsAreFannedFromTheirFirstCorner) {
  const Loaded fans = load("fans.x");
  ASSERT_EQ(fans.mesh.faceCount(), 7u);
  EXPECT_EQ(fans.mesh.vertexcount, 12u);
  const std::vector<std::vector<std::uint32_t>> want = {
      {0, 1, 2},  {0, 2, 3},   {4, 5, 6}, {4, 6, 7},
      {8, 9, 10}, {8, 10, 11}, {8, 11, 4}};
  for (std::uint32_t f = 0; f < 7; ++f)
    EXPECT_EQ(fans.triangle(f), want[f]) << f;
}

// A corner whose normal differs in value from its vertex's gets a copy of
// the vertex after all others; an equal normal under another index does not.
TEST(MeshFile, VerticesSplitWhereTheirNormalsDiffer) {
  const Loaded roof = load("split_normals.x");
  ASSERT_EQ(roof.mesh.vertexcount, 8u);
  EXPECT_EQ(roof.mesh.fvf, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
  EXPECT_EQ(roof.triangle(2), (std::vector<std::uint32_t>{6, 7, 4}));
  EXPECT_EQ(roof.triangle(4), (std::vector<std::uint32_t>{0, 1, 4}));
  const float r = 1.0f / std::sqrt(2.0f);
  const Corner down{0, -r, r}, up{0, r, r};
  EXPECT_EQ(roof.at(6, roof.layout.position), (Corner{0, 1, 1})); // of 3
  EXPECT_EQ(roof.at(7, roof.layout.position), (Corner{2, 1, 1})); // of 2
  for (auto [vertex, normal] : {std::pair{0u, down}, std::pair{3u, down},
                                std::pair{6u, up}, std::pair{4u, up}})
    EXPECT_EQ(roof.at(vertex, roof.layout.normal), normal) << vertex;
  float uv[2];
  std::memcpy(uv,
              roof.mesh.vertices.data() + 7 * roof.mesh.stride +
                  roof.layout.texcoord[0],
              8);
  EXPECT_EQ(uv[0], 1.0f);
  EXPECT_EQ(uv[1], 0.5f);
}

// Each mesh takes the transforms before it in its frame, a child frame's
// own before its parent's; normals turn but do not move.
TEST(MeshFile, FrameTransformsAccumulateInFileOrder) {
  const Loaded frames = load("frames.x");
  ASSERT_EQ(frames.mesh.vertexcount, 12u);
  const int p = frames.layout.position;
  EXPECT_EQ(frames.at(0, p), (Corner{1, 0, 0}));   // A: none yet
  EXPECT_EQ(frames.at(3, p), (Corner{1, 0, 10}));  // B: the first
  EXPECT_EQ(frames.at(6, p), (Corner{2, 0, 10}));  // C: both
  EXPECT_EQ(frames.at(9, p), (Corner{1, 1, 10}));  // D: turned, then both
  EXPECT_EQ(frames.at(10, p), (Corner{0, 0, 10})); // (0, 1, 0) turned
  EXPECT_EQ(frames.at(9, frames.layout.normal), (Corner{0, 1, 0}));
  EXPECT_EQ(frames.at(0, frames.layout.normal), (Corner{0, 0, 0}));
  EXPECT_EQ(frames.triangle(3), (std::vector<std::uint32_t>{9, 10, 11}));
}

// Each mesh's own list, references and frame-declared materials resolved,
// after the lists of the meshes before it.
TEST(MeshFile, EachMeshBringsItsOwnMaterials) {
  const Loaded file = load("materials.x");
  ASSERT_EQ(file.materials.size(), 4u);
  const std::vector<ColorValue> diffuse = {
      {0, 0, 1, 0.5f}, {0, 1, 0, 1}, {1, 1, 0, 1}, {1, 0, 0, 1}};
  for (std::size_t m = 0; m < 4; ++m)
    EXPECT_EQ(file.materials[m].material.diffuse, diffuse[m]) << m;
  EXPECT_EQ(file.materials[0].texturefile, "blue.bmp");
  EXPECT_EQ(file.materials[1].material.emissive, (ColorValue{0, 0, 0.2f, 1}));
  EXPECT_EQ(file.materials[3].material.specular, (ColorValue{1, 1, 1, 1}));
  EXPECT_EQ(file.materials[3].material.power, 8.0f);
  // Grouped by material: the first mesh's two faces swap; the mesh without
  // a list names the material after the last, which is never drawn.
  EXPECT_EQ(file.mesh.attributes, (std::vector<std::uint32_t>{0, 1, 3, 4}));
  EXPECT_EQ(file.triangle(0), (std::vector<std::uint32_t>{0, 2, 3}));
  EXPECT_EQ(file.mesh.subsets.size(), 5u);
}

TEST(MeshFile, TheCubeReadsAlikeInEveryEncoding) {
  const auto read = [](const char *name) {
    Mesh mesh;
    std::vector<MeshMaterial> materials;
    std::string error;
    EXPECT_TRUE(loadMeshFromX((models / name).string(), mesh, materials, error))
        << name << ": " << error;
    return mesh;
  };
  const Mesh text = read("test_cube_text.x");
  for (const char *name : {"test_cube_binary.x", "test_cube_compressed.x"}) {
    const Mesh other = read(name);
    EXPECT_EQ(other.vertices, text.vertices) << name;
    EXPECT_EQ(other.indices, text.indices) << name;
  }
}

// What the library refuses is refused with a reason, never half loaded.
TEST(MeshFile, MalformedFilesAreRefused) {
  const std::string head = "xof 0303txt 0032\n";
  const std::string tri = "3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;";
  std::string deep, wide = "Frame F0 { Mesh { " + tri + " } }";
  for (int i = 0; i < 100; ++i)
    deep += "Frame {";
  // Each frame names the one before it 64 times: 64^24 visits unbounded.
  for (int i = 1; i < 25; ++i) {
    wide += "Frame F" + std::to_string(i) + " {";
    for (int k = 0; k < 64; ++k)
      wide += " { F" + std::to_string(i - 1) + " }";
    wide += " }";
  }
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Mesh { 3; 0;0;0;, 1;0;0;; }", "vertices are cut short"},
      {"Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,5;; }", "not there"},
      {"Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 2;0,1;; }", "fewer than three"},
      {"Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 0; }", "no faces"},
      {"Mesh { " + tri + " MeshMaterialList { 1; 1; 0;; { Nowhere } } }",
       "\"Nowhere\""},
      {"Mesh { " + tri +
           " MeshMaterialList { 2; 1; 0;; Material { 1;1;1;1;;"
           " 0; 0;0;0;; 0;0;0;; } } }",
       "fewer materials"},
      {"Mesh { " + tri + " MeshNormals { 1; 0;0;1;; 1; 3;0,0,1;; } }",
       "not there"},
      {"Mesh { " + tri + " MeshTextureCoords { 2; 0;0;, 1;1;; } }",
       "one pair a vertex"},
      {"Mesh { " + tri + " TextureFilename { \"open; } }", "not closed"},
      {"Frame { FrameTransformMatrix { 1,0,0,0; } Mesh { " + tri + " } }",
       "16 numbers"},
      {deep, "nested too deeply"},
      {wide, "too large"},
      {"Mesh { " + tri, "cut short"},
      {"Header { 1; 0; 1; }", "no mesh"},
  };
  TempFolder folder;
  for (const auto &[body, why] : cases) {
    std::ofstream(folder.path / "bad.x") << head << body;
    Mesh mesh;
    std::vector<MeshMaterial> materials;
    std::string error;
    EXPECT_FALSE(
        loadMeshFromX((folder.path / "bad.x").string(), mesh, materials, error))
        << body;
    EXPECT_NE(error.find(why), std::string::npos) << body << ": " << error;
    EXPECT_EQ(mesh.faceCount(), 0u);
  }
}
