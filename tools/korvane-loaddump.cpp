// korvane-loaddump: what the layers' loaders make of .x meshes and picture
// files, written as JSON documents in the form the loader oracle writes
// (tools/oracle/loader.c), so that tools/oracle/loaders.py can compare them.

#include "device/device.h"
#include "gfxutil/mesh.h"
#include "gfxutil/picture_file.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

constexpr const char *usage =
    "usage: korvane-loaddump LIST\n"
    "\n"
    "LIST holds one file a line: \"mesh\" or \"picture\", a tab, the file, a\n"
    "tab, the JSON document to write. A mesh is loaded with loadMeshFromX,\n"
    "then optimizeMesh and cloneMesh(0x212) as the mesh layer does; a\n"
    "picture with loadTextureFromFile, and decoded at its own size.\n"
    "\n"
    "Exit status: 0 every document was written (a file the loaders refuse is\n"
    "written with its \"error\"), 1 a document cannot be written, 2 a\n"
    "malformed LIST.\n";

constexpr std::uint32_t cloneFormat =
    korvane::D3DFVF_XYZ | korvane::D3DFVF_NORMAL | korvane::D3DFVF_TEX2;

std::string hex(const std::uint8_t *data, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string text(2 * size, '0');
  for (std::size_t i = 0; i < size; ++i) {
    text[2 * i] = digits[data[i] >> 4];
    text[2 * i + 1] = digits[data[i] & 15];
  }
  return text;
}

json colour(const korvane::ColorValue &c) { return {c.r, c.g, c.b, c.a}; }

json meshData(const korvane::Mesh &mesh) {
  return {{"fvf", mesh.fvf},
          {"stride", mesh.stride},
          {"vertexcount", mesh.vertexcount},
          {"facecount", mesh.faceCount()},
          {"vertices", hex(mesh.vertices.data(), mesh.vertices.size())},
          {"indices", mesh.indices},
          {"attributes", mesh.attributes}};
}

json meshDocument(const std::string &file) {
  korvane::Mesh mesh;
  std::vector<korvane::MeshMaterial> materials;
  std::string error;
  if (!korvane::loadMeshFromX(file, mesh, materials, error))
    return {{"kind", "mesh"}, {"error", error}};
  json list = json::array();
  for (const korvane::MeshMaterial &m : materials)
    list.push_back({{"diffuse", colour(m.material.diffuse)},
                    {"ambient", colour(m.material.ambient)},
                    {"specular", colour(m.material.specular)},
                    {"emissive", colour(m.material.emissive)},
                    {"power", m.material.power},
                    {"texture", m.texturefile.empty() ? json(nullptr)
                                                      : json(m.texturefile)}});
  const korvane::Mesh optimized = korvane::optimizeMesh(mesh);
  return {{"kind", "mesh"},
          {"error", 0},
          {"materialcount", materials.size()},
          {"materials", list},
          // What the layer writes to the log as "Vertices: %d, Faces: %d".
          {"logvertexcount", mesh.vertexcount},
          {"logfacecount", mesh.faceCount()},
          {"loaded", meshData(mesh)},
          {"optimized", meshData(optimized)},
          {"clone", meshData(korvane::cloneMesh(optimized, cloneFormat))}};
}

// Rows packed: the level's pitch may hold more than its texels.
std::string texels(const korvane::Texture &texture, std::uint32_t level) {
  const std::size_t row = std::size_t(texture.width(level)) *
                          korvane::bytesPerPixel(texture.format());
  std::string packed;
  for (std::uint32_t y = 0; y < texture.height(level); ++y)
    packed +=
        hex(texture.pixels(level) + std::size_t(y) * texture.pitch(level), row);
  return packed;
}

json pictureDocument(korvane::Device &device, const std::string &file) {
  json document = {{"kind", "picture"}};
  std::string reason;
  auto texture = korvane::loadTextureFromFile(device, file, &reason);
  document["error"] = texture ? json(0) : json(reason);
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)),
                          std::istreambuf_iterator<char>());
  korvane::Picture picture;
  if (korvane::decodePicture(
          reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size(),
          picture))
    document["source"] = {
        {"width", picture.width},
        {"height", picture.height},
        {"format", korvane::D3DFMT_A8R8G8B8},
        {"texels", hex(picture.bgra.data(), picture.bgra.size())}};
  if (!texture)
    return document;
  json levels = json::array();
  for (std::uint32_t n = 0; n < texture->levelCount(); ++n)
    levels.push_back({{"width", texture->width(n)},
                      {"height", texture->height(n)},
                      {"format", texture->format()},
                      {"texels", texels(*texture, n)}});
  document["levels"] = levels;
  return document;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2 || std::string(argv[1]) == "--help") {
    std::fputs(usage, argc == 2 ? stdout : stderr);
    return argc == 2 ? 0 : 2;
  }
  std::ifstream list(argv[1]);
  if (!list) {
    std::cerr << "korvane-loaddump: " << argv[1] << " cannot be opened\n";
    return 2;
  }
  korvane::Device device(nullptr);
  std::string line;
  for (int number = 1; std::getline(list, line); ++number) {
    if (line.empty())
      continue;
    std::istringstream fields(line);
    std::string kind, file, output;
    if (!std::getline(fields, kind, '\t') ||
        !std::getline(fields, file, '\t') ||
        !std::getline(fields, output, '\t') ||
        (kind != "mesh" && kind != "picture")) {
      std::cerr << "korvane-loaddump: line " << number
                << " is not KIND<tab>FILE<tab>JSON\n";
      return 2;
    }
    const json document =
        kind == "mesh" ? meshDocument(file) : pictureDocument(device, file);
    std::ofstream out(output, std::ios::binary);
    out << document.dump() << '\n';
    if (!out) {
      std::cerr << "korvane-loaddump: " << output << " cannot be written\n";
      return 1;
    }
  }
  return 0;
}
