#include "script/parser.h"

#include "script/parser_values.h"

#include <cstring>
#include <memory>
#include <string>

namespace korvane {
namespace {

constexpr float degreesToRadians = 0.017453292f;

std::int32_t wrappingAdd(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) +
                                   static_cast<std::uint32_t>(b));
}

// A keyword of a block and what reading it does to the block's record.
template <typename Record> struct Setting {
  const char *keyword;
  void (*read)(ValueReader &, Record &);
};

// Reads the setting the current token names; false for any other token.
template <typename Record, std::size_t N>
bool readSetting(const Setting<Record> (&table)[N], ValueReader &values,
                 Record &record) {
  for (const Setting<Record> &setting : table)
    if (tokenIs(values.reader, setting.keyword)) {
      setting.read(values, record);
      return true;
    }
  return false;
}

const Setting<Show> demoSettings[] = {
    {"showfps",
     [](ValueReader &v, Show &s) { v.readSwitch(s.showfps, "showfps"); }},
    {"showtime",
     [](ValueReader &v, Show &s) { v.readSwitch(s.showtime, "showtime"); }},
    {"music", [](ValueReader &v, Show &s) { v.readSwitch(s.music, "music"); }},
    {"fullscreen",
     [](ValueReader &v, Show &s) { v.readSwitch(s.fullscreen, "fullscreen"); }},
    {"resolution",
     [](ValueReader &v, Show &s) {
       s.resolution[0] = v.readInteger("resolution");
       s.resolution[1] = v.readInteger("resolution");
     }},
    {"musicfilename",
     [](ValueReader &v, Show &s) {
       v.readFileName(s.musicfilename, "musicfilename");
     }},
};

const Word layerTypes[] = {{"XFILE", LAYER_XFILE},
                           {"KTRFILE", LAYER_KTRFILE},
                           {"PICTURE", LAYER_PICTURE},
                           {"AVIPICTURE", LAYER_AVIPICTURE},
                           {"BLOB", LAYER_BLOB}};
const Word envMaps[] = {{"SPHEREMAP", ENVMAP_SPHEREMAP},
                        {"SPHEREMAP2", ENVMAP_SPHEREMAP2},
                        {"CUBEMAP", ENVMAP_CUBEMAP},
                        {"NONE", ENVMAP_NONE}};

void readEnvMap(ValueReader &v, Layer &layer) {
  v.readWord(layer.envmap, envMaps, "envmap");
  if (tokenIs(v.reader, "SPHEREMAP2")) {
    v.readFileName(layer.envmapfilename, "SPHEREMAP2");
    v.reader.logger.line("SPHEREMAP2 %s", layer.envmapfilename);
  }
}

void readBlend(ValueReader &v, Layer &layer) {
  for (std::int32_t *factor : {&layer.srcblend, &layer.dstblend}) {
    v.nextValue("blend");
    *factor = blendValue(v.reader.token);
    if (*factor < 0)
      v.unknownValue("blend");
    v.reader.logger.line(
        factor == &layer.srcblend ? "SrcBlend: %d" : "DstBlend: %d", *factor);
  }
}

void readColor(ValueReader &v, Layer &layer) {
  layer.color = v.readColor("color");
}

const Setting<Layer> layerSettings[] = {
    {"type",
     [](ValueReader &v, Layer &l) { v.readWord(l.type, layerTypes, "type"); }},
    {"avispeed",
     [](ValueReader &v, Layer &l) { l.avispeed = v.readReal("avispeed"); }},
    {"envmap", readEnvMap},
    {"cull", [](ValueReader &v, Layer &l) { v.readSwitch(l.cull, "cull"); }},
    {"ztest", [](ValueReader &v, Layer &l) { v.readDepth(l.ztest, "ztest"); }},
    {"zwrite",
     [](ValueReader &v, Layer &l) { v.readDepth(l.zwrite, "zwrite"); }},
    {"blend", readBlend},
    {"filename",
     [](ValueReader &v, Layer &l) { v.readFileName(l.filename, "filename"); }},
    {"position",
     [](ValueReader &v, Layer &l) { v.readReals(l.position, 3, "position"); }},
    {"rotation",
     [](ValueReader &v, Layer &l) { v.readReals(l.rotation, 3, "rotation"); }},
    {"rotationadd",
     [](ValueReader &v, Layer &l) {
       v.readReals(l.rotationadd, 3, "rotationadd");
       for (float &angle : l.rotationadd)
         angle *= degreesToRadians;
     }},
    {"scale",
     [](ValueReader &v, Layer &l) { v.readReals(l.scale, 3, "scale"); }},
    {"size", [](ValueReader &v, Layer &l) { v.readReals(l.size, 2, "size"); }},
    {"alpha",
     [](ValueReader &v, Layer &l) {
       l.alpha = static_cast<std::uint8_t>(v.readInteger("alpha"));
     }},
    {"blobsnum",
     [](ValueReader &v, Layer &l) { l.blobsnum = v.readInteger("blobsnum"); }},
    {"color", readColor},
};

const Setting<Shadow> shadowSettings[] = {
    {"filename",
     [](ValueReader &v, Shadow &s) {
       v.readFileName(s.shadowfilename, "filename");
     }},
    {"light",
     [](ValueReader &v, Shadow &s) { v.readReals(s.light, 3, "light"); }},
    {"plane_a",
     [](ValueReader &v, Shadow &s) { v.readReals(s.plane_a, 3, "plane_a"); }},
    {"plane_b",
     [](ValueReader &v, Shadow &s) { v.readReals(s.plane_b, 3, "plane_b"); }},
    {"plane_c",
     [](ValueReader &v, Shadow &s) { v.readReals(s.plane_c, 3, "plane_c"); }},
};

class Parser {
public:
  Parser(Show &show, ScriptReader &reader, bool loadparts,
         const ParseOptions &options)
      : show(show), values(reader, loadparts), loadparts(loadparts),
        options(options) {}

  bool parseScript();

private:
  void parsePart(Part &part, bool load);
  void parseLayer(Layer &layer, LayerPlace place, bool load);
  bool parseLayerBlock(Layer &layer);
  void parseBlobs(Layer &layer);
  void parseShadow(Layer &layer);

  // Reads tokens up to `end`; false when the text ends first, which is
  // reported at the line the block opened.
  bool nextInBlock(const char *block, const char *end, int openedAt);

  Show &show;
  ValueReader values;
  bool loadparts;
  const ParseOptions &options;
};

bool Parser::nextInBlock(const char *block, const char *end, int openedAt) {
  if (!values.reader.next()) {
    values.reader.problem(Problem::BlockNotClosed, openedAt, {block});
    return false;
  }
  return !tokenIs(values.reader, end);
}

bool Parser::parseScript() {
  ScriptReader &reader = values.reader;
  if (!reader.next()) {
    // Still read, as the player always has; whoever checks the script or
    // reloads it learns why nothing plays.
    reader.problem(Problem::ScriptEmpty, 0, {});
    values.reader.logger.line("PartNumber: %d", show.partnumber);
    return true;
  }
  if (!tokenIs(reader, "<demo>")) {
    reader.problem(Problem::ScriptNotDemo, reader.tokenline, {reader.token});
    return false;
  }
  while (reader.next()) {
    if (loadparts && tokenIs(reader, "<part>")) {
      std::unique_ptr<Part> spare;
      Part &part = overCapacity(show.parts, show.partnumber, maxParts, spare,
                                Problem::PartDropped, reader);
      parsePart(part, !spare);
      if (!spare)
        ++show.partnumber;
    } else if (!readSetting(demoSettings, values, show)) {
      values.unknownToken("<demo>");
    }
  }
  values.reader.logger.line("PartNumber: %d", show.partnumber);
  return true;
}

void Parser::parsePart(Part &part, bool load) {
  const int openedAt = values.reader.tokenline;
  part.layernumber = 0;
  bool haslength = false;
  while (nextInBlock("<part>", "</part>", openedAt)) {
    ScriptReader &reader = values.reader;
    if (tokenIs(reader, "<layer>")) {
      std::unique_ptr<Layer> spare;
      Layer &layer = overCapacity(part.layers, part.layernumber, maxLayers,
                                  spare, Problem::LayerDropped, reader);
      parseLayer(layer, {show.partnumber, part.layernumber}, load && !spare);
      if (!spare)
        ++part.layernumber;
    } else if (tokenIs(reader, "backgroundcolor")) {
      for (auto &component : part.backgroundcolor)
        component =
            static_cast<std::uint8_t>(values.readInteger("backgroundcolor"));
    } else if (tokenIs(reader, "length")) {
      const int line = reader.tokenline;
      part.endtime = values.readInteger("length");
      haslength = true;
      // Kept as written: the parts after it are placed from it all the same.
      if (part.endtime <= 0 && isScriptInteger(reader.token))
        reader.problem(Problem::PartLengthNotPositive, line,
                       {std::to_string(part.endtime)});
      part.starttime = 0;
      if (show.partnumber > 0) {
        const Part &previous = show.parts[show.partnumber - 1];
        part.endtime = wrappingAdd(part.endtime, previous.endtime);
        part.starttime = previous.endtime;
      }
      values.reader.logger.line("Length: %d - %d", part.starttime,
                                part.endtime);
    } else {
      values.unknownToken("<part>");
    }
  }
  if (!haslength)
    values.reader.problem(Problem::PartWithoutLength, openedAt, {});
}

void Parser::parseLayer(Layer &layer, LayerPlace place, bool load) {
  const int openedAt = values.reader.tokenline;
  for (Shadow &shadow : layer.shadows)
    shadow.shadowenabled = 0;
  layer.shadownumber = 0;
  layer.color = 0xFFFFFFFFu;
  layer.avispeed = 1.0f;
  values.reader.logger.line("--------------- LOADLAYER");
  while (nextInBlock("<layer>", "</layer>", openedAt)) {
    if (!parseLayerBlock(layer) && !readSetting(layerSettings, values, layer))
      values.unknownToken("<layer>");
  }
  if (load && options.load)
    options.load(layer, place, values.reader.logger);
}

bool Parser::parseLayerBlock(Layer &layer) {
  ScriptReader &reader = values.reader;
  if (tokenIs(reader, "<shadow>")) {
    values.reader.logger.line("LOADSHADOW");
    parseShadow(layer);
  } else if (tokenIs(reader, "<blobs>")) {
    values.reader.logger.line("LOADBLOB");
    parseBlobs(layer);
  } else if (tokenIs(reader, "<timeline>")) {
    values.reader.logger.line("LOADTIMELINE");
    parseTimeline(values, layer);
  } else {
    return false;
  }
  return true;
}

void Parser::parseBlobs(Layer &layer) {
  const int openedAt = values.reader.tokenline;
  // Each list fills its own entries; past the 16th, entries are read into
  // a spare and counted.
  int positions = 0, sizes = 0, muls = 0, types = 0;
  Blob spare;
  auto entry = [&layer, &spare](int index) -> Blob & {
    return index < maxBlobs ? layer.blobs[index] : spare;
  };
  while (nextInBlock("<blobs>", "</blobs>", openedAt)) {
    ScriptReader &reader = values.reader;
    if (tokenIs(reader, "position")) {
      values.readReals(entry(positions++).blobposition, 3, "position");
    } else if (tokenIs(reader, "size")) {
      values.readReals(&entry(sizes++).blobsize, 1, "size");
    } else if (tokenIs(reader, "mul")) {
      values.readReals(entry(muls++).blobmul, 3, "mul");
    } else if (tokenIs(reader, "type")) {
      static const Word shapes[] = {
          {"SPHERE", BLOB_SPHERE}, {"CUBE", BLOB_CUBE}, {"TORUS", BLOB_TORUS}};
      std::int32_t shape = -1;
      values.readWord(shape, shapes, "blob type");
      if (shape >= 0)
        entry(types).blobtype = shape;
      ++types;
    } else {
      values.unknownToken("<blobs>");
    }
  }
  const std::pair<const char *, int> counts[] = {
      {"position", positions}, {"size", sizes}, {"mul", muls}, {"type", types}};
  for (const auto &[keyword, count] : counts)
    if (count > maxBlobs)
      values.reader.problem(Problem::BlobEntriesDropped, openedAt,
                            {std::to_string(count - maxBlobs), keyword,
                             std::to_string(maxBlobs)});
}

void Parser::parseShadow(Layer &layer) {
  const int openedAt = values.reader.tokenline;
  const int slot = layer.shadownumber;
  const bool kept = slot < maxShadows;
  // A block beyond the slots is read into a spare and forgotten.
  Shadow spare;
  Shadow &target = kept ? layer.shadows[slot] : spare;
  target.shadowenabled = 1;
  while (nextInBlock("<shadow>", "</shadow>", openedAt))
    if (!readSetting(shadowSettings, values, target))
      values.unknownToken("<shadow>");
  if (kept)
    ++layer.shadownumber;
  else
    values.reader.problem(Problem::ShadowDropped, openedAt,
                          {std::to_string(maxShadows)});
}

} // namespace

bool parseScript(Show &show, const char *filename, bool loadparts,
                 const Logger &logger, const ParseOptions &options) {
  ScriptReader reader(logger);
  reader.quiet = options.quiet;
  reader.open(filename, options.files);
  if (!options.name.empty())
    reader.filename = options.name;
  return Parser(show, reader, loadparts, options).parseScript();
}

bool parseScriptText(Show &show, std::string_view text, bool loadparts,
                     const Logger &logger, const ParseOptions &options) {
  ScriptReader reader(logger);
  reader.quiet = options.quiet;
  reader.openText(text);
  return Parser(show, reader, loadparts, options).parseScript();
}

bool parseSettings(Show &show, const char *filename, const Logger &logger,
                   const ParseOptions &options) {
  show.partnumber = 0;
  return parseScript(show, filename, false, logger, options);
}

bool endsEarly(Problem id) {
  return id == Problem::BlockNotClosed || id == Problem::CommentNotClosed ||
         id == Problem::ValueMissing;
}

} // namespace korvane
