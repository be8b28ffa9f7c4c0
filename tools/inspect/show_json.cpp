#include "inspect/show_json.h"

#include "layers/blob/blob_layer.h"
#include "layers/mesh/mesh_layer.h"
#include "metaballs/blob_field.h"

#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace korvane {
namespace {

using nlohmann::json;

// A setting as JSON: numbers as they are, floats at 9 digits, names as
// strings, arrays element by element.
json settingJson(float value) { return jsonFloat(value); }
template <std::size_t N> json settingJson(const char (&name)[N]) {
  return static_cast<const char *>(name);
}
template <typename T> json settingJson(const T &value);
template <typename T> json settingJson(std::reference_wrapper<T> value) {
  return settingJson(value.get());
}
template <typename T> json settingJson(const T &value) {
  if constexpr (std::is_arithmetic_v<T>) {
    return value;
  } else {
    json out = json::array();
    for (const auto &element : value)
      out.push_back(settingJson(element));
    return out;
  }
}
json tripleKeys(const TripleTrack &track) {
  json out = json::array();
  for (int i = 0; i < track.count; ++i) {
    const float *v = track.values[i];
    out.push_back(
        {track.times[i], jsonFloat(v[0]), jsonFloat(v[1]), jsonFloat(v[2])});
  }
  return out;
}

json layerToJson(const Layer &layer, const LoadedLayer *loaded) {
  json out;
  visitLayerSettings(layer, [&out](const char *name, const auto &value) {
    out[name] = settingJson(value);
  });

  json positionkeys = json::array(), scalekeys = json::array(),
       rotationkeys = json::array(), colorkeys = json::array();
  if (layer.hastimeline) {
    positionkeys = tripleKeys(layer.positionkeys);
    scalekeys = tripleKeys(layer.scalekeys);
    rotationkeys = tripleKeys(layer.rotationkeys);
    for (int i = 0; i < layer.colorkeys.count; ++i)
      colorkeys.push_back(
          {layer.colorkeys.times[i], layer.colorkeys.values[i]});
  }
  if (const auto *mesh = dynamic_cast<const MeshLayer *>(loaded)) {
    json textures = json::array();
    for (std::size_t i = 0; i < mesh->texturenames.size(); ++i)
      textures.push_back({{"name", mesh->texturenames[i]},
                          {"loaded", mesh->textures[i] != nullptr}});
    out["mesh"] = {{"vertices", mesh->mesh.vertexcount},
                   {"faces", mesh->mesh.faceCount()},
                   {"materials", mesh->materialnumber},
                   {"textures", textures}};
  }
  out["positionkeys"] = positionkeys;
  out["scalekeys"] = scalekeys;
  out["rotationkeys"] = rotationkeys;
  out["colorkeys"] = colorkeys;
  return out;
}

} // namespace

double jsonFloat(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return std::strtod(text, nullptr);
}

json sampleToJson(const LayerSample &sample) {
  auto vec = [](const Vec3 &v) {
    return json{jsonFloat(v.x), jsonFloat(v.y), jsonFloat(v.z)};
  };
  return {{"position", vec(sample.position)},
          {"scale", vec(sample.scale)},
          {"rotation", vec(sample.rotation)},
          {"color", sample.color}};
}

std::string matrixText(const Matrix &matrix) {
  std::string out;
  char number[32];
  for (const auto &row : matrix.m) {
    for (int j = 0; j < 4; ++j) {
      std::snprintf(number, sizeof number, j ? " %.9g" : "%.9g",
                    static_cast<double>(row[j]));
      out += number;
    }
    out += "\n";
  }
  return out;
}

std::string blobFrameJson(const Layer &layer, std::uint32_t drift,
                          std::uint32_t phase) {
  auto field = std::make_unique<BlobField>();
  setupBlobField(*field, layer);
  std::vector<BlobVertex> vertices(blobVertexCapacity);
  ScriptedTicks ticks{drift, phase};
  const int triangles = field->polygonise(vertices.data(), ticks);
  // Written by hand: nlohmann would print the shortest double, not the
  // float's 9 digits, and a frame has up to 24 000 vertices.
  std::string out =
      "{\"triangles\": " + std::to_string(triangles) + ", \"vertices\": [";
  char number[32];
  for (int v = 0; v < 3 * triangles; ++v) {
    const BlobVertex &vertex = vertices[v];
    const float components[6] = {vertex.x,  vertex.y,  vertex.z,
                                 vertex.nx, vertex.ny, vertex.nz};
    out += v ? ", [" : "[";
    for (int c = 0; c < 6; ++c) {
      std::snprintf(number, sizeof number, c ? ", %.9g" : "%.9g",
                    static_cast<double>(components[c]));
      out += number;
    }
    out += "]";
  }
  out += "]}";
  return out;
}

json showToJson(const LoadedShow &loaded, const std::vector<std::string> &log,
                const std::vector<Report> &reports) {
  const Show &show = loaded.show;
  json out;
  out["showfps"] = show.showfps;
  out["showtime"] = show.showtime;
  out["music"] = show.music;
  out["fullscreen"] = show.fullscreen;
  out["resolution"] = {show.resolution[0], show.resolution[1]};
  out["musicfilename"] = show.musicfilename;
  out["partnumber"] = show.partnumber;

  json parts = json::array();
  const std::span<const Part> parsed = show.partsParsed();
  for (std::size_t p = 0; p < parsed.size(); ++p) {
    const Part &part = parsed[p];
    json layers = json::array();
    const std::span<const Layer> inPart = part.layersParsed();
    for (std::size_t l = 0; l < inPart.size(); ++l)
      layers.push_back(layerToJson(inPart[l], loaded.layer(p, l)));
    parts.push_back({{"layernumber", part.layernumber},
                     {"backgroundcolor",
                      {part.backgroundcolor[0], part.backgroundcolor[1],
                       part.backgroundcolor[2]}},
                     {"starttime", part.starttime},
                     {"endtime", part.endtime},
                     {"layers", layers}});
  }
  out["parts"] = parts;
  out["log"] = log;
  // The script's own problems with their lines; those of the files it
  // names with the file.
  json warnings = json::array(), problems = json::array();
  for (const Report &report : reports) {
    if (report.kind == ProblemKind::Script)
      warnings.push_back({{"id", problemName(report.id)},
                          {"line", report.line},
                          {"message", report.text}});
    else
      problems.push_back({{"id", problemName(report.id)},
                          {"file", report.file},
                          {"message", report.text}});
  }
  out["warnings"] = warnings;
  out["problems"] = problems;
  return out;
}

} // namespace korvane
