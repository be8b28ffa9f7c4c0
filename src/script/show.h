#pragma once

// script: the show record the whole player reads, the reader that splits
// the script into tokens, and the block parsers that fill the record in
// two passes. It knows base/ only and nothing of drawing.

#include "base/blob_type.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace korvane {

constexpr int maxParts = 16;
constexpr int maxLayers = 8;
constexpr int maxShadows = 2;
constexpr int maxBlobs = 16;
constexpr int maxKeys = 1024; // per timeline channel, loop copies included
constexpr int fileNameCapacity = 128; // 127 characters and the NUL

enum LayerType : std::int32_t {
  LAYER_NONE = 0,
  LAYER_XFILE = 1,
  LAYER_KTRFILE = 2,
  LAYER_PICTURE = 3,
  LAYER_AVIPICTURE = 4,
  LAYER_BLOB = 5,
};
constexpr int layerTypeCount = 6;

enum EnvMap : std::int32_t {
  ENVMAP_NONE = 0,
  ENVMAP_SPHEREMAP = 1,
  ENVMAP_CUBEMAP = 2,
  ENVMAP_SPHEREMAP2 = 3,
};

// `ztest` and `zwrite`: 0 leaves the device's setting alone.
enum DepthSetting : std::int32_t {
  DEPTH_UNSET = 0,
  DEPTH_ENABLE = 1,
  DEPTH_DISABLE = 2,
};

// One timeline channel: room for maxKeys keys, made when a <timeline>
// block starts; the key times (ms since the part start), their values, and
// how many keys are stored, so that samplers never read past them.
template <typename Value> struct Track {
  std::unique_ptr<std::int32_t[]> times;
  std::unique_ptr<Value[]> values;
  std::int32_t count = 0;

  // Empty room for maxKeys keys, in place of any keys held before.
  void makeRoom() {
    times.reset(new std::int32_t[maxKeys]());
    values.reset(new Value[maxKeys]());
    count = 0;
  }
  // Holds keys a sampler can read.
  bool usable() const { return times && values && count > 0; }
};
using TripleTrack = Track<float[3]>;
using ColorTrack = Track<std::uint32_t>;

// A `<shadow>` block: the picture the flattened mesh is drawn with, and the
// plane of three points it falls on under a directional light.
struct Shadow {
  char shadowfilename[fileNameCapacity] = {};
  std::uint8_t shadowenabled = 0; // the slot was given by a block
  float plane_a[3] = {};
  float plane_b[3] = {};
  float plane_c[3] = {};
  float light[3] = {};
};

// One entry of a `<blobs>` block: each list of the block fills its own.
struct Blob {
  float blobposition[3] = {};
  float blobsize = 0.0f;
  std::int32_t blobtype = BLOB_SPHERE;
  float blobmul[3] = {}; // the movement amplitudes
};

struct Layer {
  std::int32_t envmap = ENVMAP_NONE;
  std::int32_t type = LAYER_NONE;
  char filename[fileNameCapacity] = {};
  char envmapfilename[fileNameCapacity] = {};
  float position[3] = {};
  float rotation[3] = {};    // spin vector: axis and radians per second
  float rotationadd[3] = {}; // fixed angles about x, y, z in radians
  float scale[3] = {};
  std::int32_t ztest = DEPTH_UNSET;
  std::int32_t zwrite = DEPTH_UNSET;
  std::int32_t srcblend = 0;
  std::int32_t dstblend = 0;
  float size[2] = {};
  std::uint8_t alpha = 0;
  std::uint32_t color = 0; // ARGB; the layer parser presets 0xFFFFFFFF
  float avispeed = 0.0f;   // the layer parser presets 1.0
  std::uint8_t hastimeline = 0;
  std::uint8_t haspositionkeys = 0;
  std::uint8_t hasscalekeys = 0;
  std::uint8_t hasrotationkeys = 0;
  std::uint8_t hascolorkeys = 0;
  Shadow shadows[maxShadows];
  std::int32_t shadownumber = 0;
  std::uint8_t cull = 0;
  Blob blobs[maxBlobs];

  // Timeline keys, present while `hastimeline` is set.
  TripleTrack positionkeys;
  TripleTrack scalekeys;
  TripleTrack rotationkeys;
  ColorTrack colorkeys;

  std::int32_t blobsnum = 0;
};

// The first `count` of a fixed array, `count` kept within the array: the
// one place a count meets its capacity.
template <typename T, std::size_t N>
std::span<T> firstOf(T (&array)[N], std::int32_t count) {
  return {array, static_cast<std::size_t>(
                     std::clamp<std::int32_t>(count, 0, std::int32_t(N)))};
}

// The shadow blocks the layer was given.
inline std::span<const Shadow> shadowsOf(const Layer &layer) {
  return firstOf(layer.shadows, layer.shadownumber);
}

struct Part {
  Layer layers[maxLayers];
  std::int32_t layernumber = 0;
  std::uint8_t backgroundcolor[3] = {}; // red, green, blue
  std::int32_t endtime = 0;             // exclusive, on the show clock
  std::int32_t starttime = 0;           // inclusive, on the show clock

  // The layers parsed.
  std::span<Layer> layersParsed() { return firstOf(layers, layernumber); }
  std::span<const Layer> layersParsed() const {
    return firstOf(layers, layernumber);
  }
};

struct Show {
  Part parts[maxParts];
  std::int32_t partnumber = 0;
  std::uint8_t showfps = 0;
  std::uint8_t showtime = 0;
  std::uint8_t music = 0;
  std::uint8_t fullscreen = 0;
  std::int32_t resolution[2] = {}; // width, height
  char musicfilename[fileNameCapacity] = {};

  // The parts parsed.
  std::span<Part> partsParsed() { return firstOf(parts, partnumber); }
  std::span<const Part> partsParsed() const {
    return firstOf(parts, partnumber);
  }
};

// One field of every record of an array, in order, as the inspector lists
// the fields of shadows and blobs.
template <typename Record, std::size_t N, typename Field>
std::vector<std::reference_wrapper<const Field>>
eachOf(const Record (&records)[N], Field Record::*field) {
  std::vector<std::reference_wrapper<const Field>> out;
  for (const Record &record : records)
    out.push_back(std::cref(record.*field));
  return out;
}

// Hands each of the layer's settings to `visit` with its name, in the order
// the record holds them: for whoever shows them all (the inspector). A new
// setting is listed here beside its field.
template <typename Visit> void visitLayerSettings(const Layer &l, Visit visit) {
  visit("envmap", l.envmap);
  visit("type", l.type);
  visit("filename", l.filename);
  visit("envmapfilename", l.envmapfilename);
  visit("position", l.position);
  visit("rotation", l.rotation);
  visit("rotationadd", l.rotationadd);
  visit("scale", l.scale);
  visit("ztest", l.ztest);
  visit("zwrite", l.zwrite);
  visit("srcblend", l.srcblend);
  visit("dstblend", l.dstblend);
  visit("size", l.size);
  visit("alpha", l.alpha);
  visit("color", l.color);
  visit("avispeed", l.avispeed);
  visit("hastimeline", l.hastimeline);
  visit("haspositionkeys", l.haspositionkeys);
  visit("hasscalekeys", l.hasscalekeys);
  visit("hasrotationkeys", l.hasrotationkeys);
  visit("hascolorkeys", l.hascolorkeys);
  visit("shadowfilename", eachOf(l.shadows, &Shadow::shadowfilename));
  visit("shadowenabled", eachOf(l.shadows, &Shadow::shadowenabled));
  visit("shadownumber", l.shadownumber);
  visit("plane_a", eachOf(l.shadows, &Shadow::plane_a));
  visit("plane_b", eachOf(l.shadows, &Shadow::plane_b));
  visit("plane_c", eachOf(l.shadows, &Shadow::plane_c));
  visit("light", eachOf(l.shadows, &Shadow::light));
  visit("cull", l.cull);
  visit("blobposition", eachOf(l.blobs, &Blob::blobposition));
  visit("blobsize", eachOf(l.blobs, &Blob::blobsize));
  visit("blobtype", eachOf(l.blobs, &Blob::blobtype));
  visit("blobmul", eachOf(l.blobs, &Blob::blobmul));
  visit("blobsnum", l.blobsnum);
}

// One past the last millisecond any part holds; 0 for a show of no part.
std::uint32_t showLength(const Show &show);

// Why the show cannot be played, empty when it can: it holds no part, or
// none of its parts holds any show time (no part has a length above 0).
// The player would end at once; a reload keeps the show it has instead.
std::string unplayable(const Show &show);

// Every file the show's layers name (meshes, pictures, videos, their
// environment and shadow pictures), each once, in the order named.
std::vector<std::string> filesNamed(const Show &show);

} // namespace korvane
