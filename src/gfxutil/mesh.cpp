#include "gfxutil/mesh.h"

#include "device/device.h"
#include "gfxutil/isolated_import.h"
#include "gfxutil/xfile_scan.h"

#include <assimp/cimport.h>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <meshoptimizer.h>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace korvane {
namespace {

// Faces in subset order, and the subset table.
void groupSubsets(Mesh &mesh) {
  const std::uint32_t faces = mesh.faceCount();
  std::vector<std::uint32_t> order(faces);
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) {
                     return mesh.attributes[a] < mesh.attributes[b];
                   });
  std::vector<std::uint32_t> indices(mesh.indices.size()), attributes(faces);
  for (std::uint32_t f = 0; f < faces; ++f) {
    std::memcpy(&indices[3 * f], &mesh.indices[3 * order[f]], 12);
    attributes[f] = mesh.attributes[order[f]];
  }
  mesh.indices = std::move(indices);
  mesh.attributes = std::move(attributes);
  std::uint32_t count = 0;
  for (std::uint32_t a : mesh.attributes)
    count = std::max(count, a + 1);
  mesh.subsets.assign(std::max<std::size_t>(count, mesh.subsets.size()), {});
  for (std::uint32_t f = 0; f < faces; ++f) {
    Mesh::Subset &subset = mesh.subsets[mesh.attributes[f]];
    if (subset.facecount == 0)
      subset.firstface = f;
    ++subset.facecount;
  }
}

ColorValue colorOf(const aiMaterial *material, const char *key, unsigned type,
                   unsigned index) {
  aiColor4D c(0, 0, 0, 0);
  if (aiGetMaterialColor(material, key, type, index, &c) != AI_SUCCESS)
    return {};
  return {c.r, c.g, c.b, c.a};
}

// The vertex format the scene's triangle meshes need, and their vertex
// count; false when they have no vertices or more than 32 bits can count.
bool sceneFormat(const aiScene *scene, Mesh &mesh) {
  bool normals = false, texcoords = false, colors = false;
  std::uint64_t total = 0;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh *part = scene->mMeshes[m];
    if (!(part->mPrimitiveTypes & aiPrimitiveType_TRIANGLE))
      continue;
    normals |= part->HasNormals();
    texcoords |= part->HasTextureCoords(0);
    colors |= part->HasVertexColors(0);
    total += part->mNumVertices;
  }
  if (total == 0 || total > 0xFFFFFFFFu)
    return false;
  mesh.fvf = D3DFVF_XYZ | (normals ? D3DFVF_NORMAL : 0u) |
             (colors ? D3DFVF_DIFFUSE : 0u) | (texcoords ? D3DFVF_TEX1 : 0u);
  mesh.stride = vertexSize(mesh.fvf);
  mesh.vertexcount = static_cast<std::uint32_t>(total);
  mesh.vertices.assign(std::size_t(total) * mesh.stride, 0);
  return true;
}

// Vertex v of a part, in the mesh's format at `out`.
void copyVertex(const aiMesh *part, unsigned v, const VertexLayout &layout,
                std::uint8_t *out) {
  const aiVector3D &p = part->mVertices[v];
  const float position[3] = {p.x, p.y, p.z};
  std::memcpy(out + layout.position, position, 12);
  if (layout.normal >= 0 && part->HasNormals()) {
    const aiVector3D &n = part->mNormals[v];
    const float normal[3] = {n.x, n.y, n.z};
    std::memcpy(out + layout.normal, normal, 12);
  }
  if (layout.diffuse >= 0) {
    std::uint32_t argb = 0xFFFFFFFFu;
    if (part->HasVertexColors(0)) {
      const aiColor4D &c = part->mColors[0][v];
      auto byte = [](float f) {
        return static_cast<std::uint32_t>(std::clamp(f, 0.0f, 1.0f) * 255.0f +
                                          0.5f);
      };
      argb = byte(c.a) << 24 | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
    }
    std::memcpy(out + layout.diffuse, &argb, 4);
  }
  if (layout.texcoord[0] >= 0 && part->HasTextureCoords(0)) {
    const aiVector3D &t = part->mTextureCoords[0][v];
    const float uv[2] = {t.x, t.y};
    std::memcpy(out + layout.texcoord[0], uv, 8);
  }
}

// Every triangle part's vertices and faces, one after the other. Faces
// that name a vertex the part does not have are skipped.
void copyParts(const aiScene *scene, Mesh &mesh) {
  const VertexLayout layout = vertexLayout(mesh.fvf);
  std::uint32_t base = 0;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh *part = scene->mMeshes[m];
    if (!(part->mPrimitiveTypes & aiPrimitiveType_TRIANGLE))
      continue;
    for (unsigned v = 0; v < part->mNumVertices; ++v)
      copyVertex(part, v, layout,
                 mesh.vertices.data() + std::size_t(base + v) * mesh.stride);
    for (unsigned f = 0; f < part->mNumFaces; ++f) {
      const aiFace &face = part->mFaces[f];
      if (face.mNumIndices != 3 || !face.mIndices ||
          face.mIndices[0] >= part->mNumVertices ||
          face.mIndices[1] >= part->mNumVertices ||
          face.mIndices[2] >= part->mNumVertices)
        continue;
      for (int k = 0; k < 3; ++k)
        mesh.indices.push_back(base + face.mIndices[k]);
      mesh.attributes.push_back(part->mMaterialIndex);
    }
    base += part->mNumVertices;
  }
}

MeshMaterial materialOf(const aiMaterial *source) {
  MeshMaterial material;
  material.material.diffuse = colorOf(source, AI_MATKEY_COLOR_DIFFUSE);
  float opacity = 1.0f;
  if (aiGetMaterialFloat(source, AI_MATKEY_OPACITY, &opacity) == AI_SUCCESS)
    material.material.diffuse.a = opacity;
  material.material.specular = colorOf(source, AI_MATKEY_COLOR_SPECULAR);
  material.material.emissive = colorOf(source, AI_MATKEY_COLOR_EMISSIVE);
  material.material.ambient = colorOf(source, AI_MATKEY_COLOR_AMBIENT);
  aiGetMaterialFloat(source, AI_MATKEY_SHININESS, &material.material.power);
  aiString texture;
  if (aiGetMaterialTexture(source, aiTextureType_DIFFUSE, 0, &texture, nullptr,
                           nullptr, nullptr, nullptr, nullptr,
                           nullptr) == AI_SUCCESS)
    material.texturefile = texture.C_Str();
  return material;
}

// The file's own counts: the importer merges vertices, and gives a file
// without materials one of its own, which the file does not have.
void applyFileCounts(const std::string &bytes, Mesh &mesh,
                     std::vector<MeshMaterial> &materials) {
  const XFileCounts counts = scanXFile(
      reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
  mesh.filevertexcount = counts.read && counts.vertices <= 0xFFFFFFFFu
                             ? static_cast<std::uint32_t>(counts.vertices)
                             : mesh.vertexcount;
  if (counts.read && !counts.materiallist)
    materials.clear();
}

// The importer's part of loading: vertices, faces and their materials,
// straight from the scene.
bool importScene(const std::string &bytes, Mesh &mesh,
                 std::vector<MeshMaterial> &materials, std::string &error) {
  mesh = Mesh{};
  materials.clear();
  const unsigned steps = aiProcess_Triangulate |
                         aiProcess_JoinIdenticalVertices |
                         aiProcess_PreTransformVertices |
                         aiProcess_ConvertToLeftHanded | aiProcess_SortByPType;
  const aiScene *scene = aiImportFileFromMemory(
      bytes.data(), static_cast<unsigned>(bytes.size()), steps, "x");
  if (!scene || !scene->mRootNode) {
    error = aiGetErrorString();
    if (scene)
      aiReleaseImport(scene);
    return false;
  }
  if (sceneFormat(scene, mesh)) {
    copyParts(scene, mesh);
    for (unsigned i = 0; i < scene->mNumMaterials; ++i)
      materials.push_back(materialOf(scene->mMaterials[i]));
  }
  aiReleaseImport(scene);
  if (mesh.indices.empty()) {
    error = "no triangles";
    return false;
  }
  applyFileCounts(bytes, mesh, materials);
  return true;
}

// What the importer handed over must describe a mesh the renderers can
// draw; then the faces are grouped here, never in the importer.
bool finishMesh(Mesh &mesh, const std::vector<MeshMaterial> &materials,
                std::string &error) {
  bool whole =
      mesh.stride == vertexSize(mesh.fvf) && mesh.stride != 0 &&
      mesh.vertices.size() == std::size_t(mesh.vertexcount) * mesh.stride &&
      mesh.indices.size() % 3 == 0 &&
      mesh.attributes.size() == mesh.indices.size() / 3 &&
      !mesh.indices.empty();
  for (std::size_t i = 0; whole && i < mesh.indices.size(); ++i)
    whole = mesh.indices[i] < mesh.vertexcount;
  if (!whole) {
    error = "the importer returned an inconsistent mesh";
    return false;
  }
  for (std::uint32_t &a : mesh.attributes)
    if (a >= materials.size())
      a = materials.empty() ? 0
                            : static_cast<std::uint32_t>(materials.size() - 1);
  mesh.subsets.assign(materials.size(), {});
  groupSubsets(mesh);
  return true;
}

} // namespace

bool loadMeshFromX(const std::string &name, Mesh &mesh,
                   std::vector<MeshMaterial> &materials, std::string &error,
                   int seconds, const ShowFiles &files) {
  mesh = Mesh{};
  materials.clear();
  // The file is read here, through the show's files (which keep a show to
  // its own); the child imports it from memory.
  std::string bytes;
  if (!files.read(name, bytes, error))
    return false;
  if (bytes.size() > 0xFFFFFFFFu) {
    error = "the file is too large";
    return false;
  }
  if (!importIsolated(bytes, importScene, seconds, mesh, materials, error))
    return false;
  if (!finishMesh(mesh, materials, error)) {
    mesh = Mesh{};
    materials.clear();
    return false;
  }
  return true;
}

Mesh optimizeMesh(const Mesh &source) {
  Mesh out = source;
  for (const Mesh::Subset &subset : out.subsets) {
    if (subset.facecount == 0)
      continue;
    std::uint32_t *indices = out.indices.data() + 3 * subset.firstface;
    std::vector<std::uint32_t> copy(indices, indices + 3 * subset.facecount);
    meshopt_optimizeVertexCache(indices, copy.data(), copy.size(),
                                out.vertexcount);
  }
  if (out.vertexcount > 0 && !out.indices.empty()) {
    std::vector<std::uint8_t> vertices(out.vertices.size());
    const std::size_t used = meshopt_optimizeVertexFetch(
        vertices.data(), out.indices.data(), out.indices.size(),
        out.vertices.data(), out.vertexcount, out.stride);
    vertices.resize(used * out.stride);
    out.vertices = std::move(vertices);
    out.vertexcount = static_cast<std::uint32_t>(used);
  }
  return out;
}

Mesh cloneMesh(const Mesh &source, std::uint32_t fvf) {
  Mesh out = source;
  out.fvf = fvf;
  out.stride = vertexSize(fvf);
  out.vertices.assign(std::size_t(out.vertexcount) * out.stride, 0);
  const VertexLayout from = vertexLayout(source.fvf), to = vertexLayout(fvf);
  for (std::uint32_t v = 0; v < out.vertexcount; ++v) {
    const std::uint8_t *in =
        source.vertices.data() + std::size_t(v) * source.stride;
    std::uint8_t *dst = out.vertices.data() + std::size_t(v) * out.stride;
    auto copy = [&](int a, int b, int bytes) {
      if (a >= 0 && b >= 0)
        std::memcpy(dst + b, in + a, static_cast<std::size_t>(bytes));
    };
    copy(from.position, to.position, 12);
    copy(from.normal, to.normal, 12);
    copy(from.diffuse, to.diffuse, 4);
    copy(from.texcoord[0], to.texcoord[0], 8);
    copy(from.texcoord[1], to.texcoord[1], 8);
  }
  return out;
}

} // namespace korvane
