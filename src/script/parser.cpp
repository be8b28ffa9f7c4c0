#include "script/parser.h"

#include "base/debuglog.h"

#include <cstring>
#include <string>

namespace korvane {
namespace {

constexpr float degreesToRadians = 0.017453292f;

const char *const blendNames[] = {
    "ZERO",
    "ONE",
    "SRCCOLOR",
    "INVSRCCOLOR",
    "SRCALPHA",
    "INVSRCALPHA",
    "DESTALPHA",
    "INVDESTALPHA",
    "DESTCOLOR",
    "INVDESTCOLOR",
    "SRCALPHASAT",
    "BOTHSRCALPHA",
    "BOTHINVSRCALPHA",
};

std::uint32_t packColor(std::int32_t red, std::int32_t green, std::int32_t blue,
                        std::int32_t alpha) {
  // 32-bit arithmetic without masking: a component above 255 carries over.
  const auto a = static_cast<std::uint32_t>(alpha);
  const auto r = static_cast<std::uint32_t>(red);
  const auto g = static_cast<std::uint32_t>(green);
  const auto b = static_cast<std::uint32_t>(blue);
  return ((a * 256u + r) * 256u + g) * 256u + b;
}

std::int32_t wrappingAdd(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) +
                                   static_cast<std::uint32_t>(b));
}

std::string quoted(const char *text) { return std::string("'") + text + "'"; }

// One timeline channel seen through its arrays, so that keys are stored and
// copied the same way whatever the value type (triples or colours).
struct Channel {
  const char *name;
  std::int32_t *times;
  float (*triples)[3];
  std::uint32_t *colors;
  std::int32_t &count;
  std::int64_t dropped = 0;

  void copyValue(int from, int to) {
    if (triples)
      std::memcpy(triples[to], triples[from], sizeof triples[to]);
    else
      colors[to] = colors[from];
  }
};

class Parser {
public:
  Parser(Show &show, bool loadparts, const ParseOptions &options)
      : show(show), reader(show.reader), loadparts(loadparts),
        options(options) {}

  bool parseScript();

private:
  void parseDemoSetting();
  bool parseDemoItem();
  void parsePart(Part &part, bool load);
  void parseLayer(Layer &layer, bool load);
  void parseTimeline(Layer &layer);
  void parseBlobs(Layer &layer);
  void parseShadow(Layer &layer);

  // Value readers. A value missing at the end of the text is read from the
  // token the reader kept, as every block does.
  std::int32_t readInteger(const char *what);
  float readReal(const char *what);
  void readReals(float *out, int n, const char *what);
  void readFileName(char (&dest)[fileNameCapacity], const char *what);
  // Switch words: 1 for ENABLE, `off` for DISABLE, unchanged otherwise.
  void readSwitch(std::uint8_t &field, const char *what);
  void readDepth(std::int32_t &field, const char *what);

  void warn(std::string message) const {
    reader.warn(reader.tokenline, std::move(message));
  }
  void warnUnknown(const char *block) const {
    if (loadparts)
      warn("unrecognised token " + quoted(reader.token) + " in " + block);
  }
  void warnUnclosed(const char *block, int openedAt) const {
    reader.warn(openedAt, std::string(block) +
                              " is not closed before the end of the text");
  }
  void warnValue(const char *what) const {
    warn("unknown value " + quoted(reader.token) + " for " + what);
  }
  bool nextValue(const char *what);

  Show &show;
  ScriptReader &reader;
  bool loadparts;
  const ParseOptions &options;
};

bool Parser::nextValue(const char *what) {
  if (reader.next())
    return true;
  reader.warn(reader.tokenline, std::string("value for ") + what +
                                    " is missing at the end of the text");
  return false;
}

std::int32_t Parser::readInteger(const char *what) {
  if (nextValue(what) && !isScriptInteger(reader.token))
    warn(quoted(reader.token) + " is not a whole number (" + what + ")");
  return scriptInteger(reader.token);
}

float Parser::readReal(const char *what) {
  if (nextValue(what) && !isScriptReal(reader.token))
    warn(quoted(reader.token) + " is not a number (" + what + ")");
  return scriptReal(reader.token);
}

void Parser::readReals(float *out, int n, const char *what) {
  for (int i = 0; i < n; ++i)
    out[i] = readReal(what);
}

void Parser::readFileName(char (&dest)[fileNameCapacity], const char *what) {
  nextValue(what);
  const std::size_t length = std::strlen(reader.token);
  const std::size_t kept =
      length < fileNameCapacity ? length : fileNameCapacity - 1;
  std::memcpy(dest, reader.token, kept);
  dest[kept] = '\0';
  if (kept < length) {
    warn(std::string(what) + " of " + std::to_string(length) +
         " characters cut to " + std::to_string(kept));
  }
}

void Parser::readSwitch(std::uint8_t &field, const char *what) {
  nextValue(what);
  if (tokenIs(reader, "ENABLE"))
    field = 1;
  else if (tokenIs(reader, "DISABLE"))
    field = 0;
  else
    warnValue(what);
}

void Parser::readDepth(std::int32_t &field, const char *what) {
  nextValue(what);
  if (tokenIs(reader, "ENABLE"))
    field = DEPTH_ENABLE;
  else if (tokenIs(reader, "DISABLE"))
    field = DEPTH_DISABLE;
  else
    warnValue(what);
}

bool Parser::parseScript() {
  if (!reader.next()) {
    writeLog("PartNumber: %d", show.partnumber);
    return true;
  }
  if (!tokenIs(reader, "<demo>")) {
    writeLog("Scriptfile is wrong!");
    warn("the script must begin with <demo>, not " + quoted(reader.token));
    return false;
  }
  while (reader.next()) {
    if (loadparts && tokenIs(reader, "<part>")) {
      if (show.partnumber < maxParts) {
        parsePart(show.parts[show.partnumber], true);
        ++show.partnumber;
      } else {
        // Read the block to its end so that its contents stay inside it.
        const int line = reader.tokenline;
        auto dropped = std::make_unique<Part>();
        parsePart(*dropped, false);
        reader.warn(line, "part dropped: a show holds at most " +
                              std::to_string(maxParts) + " parts");
      }
    } else if (!parseDemoItem()) {
      warnUnknown("<demo>");
    }
  }
  writeLog("PartNumber: %d", show.partnumber);
  return true;
}

bool Parser::parseDemoItem() {
  if (tokenIs(reader, "showfps"))
    readSwitch(show.showfps, "showfps");
  else if (tokenIs(reader, "showtime"))
    readSwitch(show.showtime, "showtime");
  else if (tokenIs(reader, "music"))
    readSwitch(show.music, "music");
  else if (tokenIs(reader, "fullscreen"))
    readSwitch(show.fullscreen, "fullscreen");
  else if (tokenIs(reader, "resolution")) {
    show.resolution[0] = readInteger("resolution");
    show.resolution[1] = readInteger("resolution");
  } else if (tokenIs(reader, "musicfilename"))
    readFileName(show.musicfilename, "musicfilename");
  else
    return false;
  return true;
}

void Parser::parsePart(Part &part, bool load) {
  const int openedAt = reader.tokenline;
  part.layernumber = 0;
  for (;;) {
    if (!reader.next()) {
      warnUnclosed("<part>", openedAt);
      return;
    }
    if (tokenIs(reader, "</part>"))
      return;
    if (tokenIs(reader, "<layer>")) {
      if (part.layernumber < maxLayers) {
        parseLayer(part.layers[part.layernumber], load);
        ++part.layernumber;
      } else {
        const int line = reader.tokenline;
        auto dropped = std::make_unique<Layer>();
        parseLayer(*dropped, false);
        reader.warn(line, "layer dropped: a part holds at most " +
                              std::to_string(maxLayers) + " layers");
      }
    } else if (tokenIs(reader, "backgroundcolor")) {
      for (auto &component : part.backgroundcolor)
        component = static_cast<std::uint8_t>(readInteger("backgroundcolor"));
    } else if (tokenIs(reader, "length")) {
      const std::int32_t length = readInteger("length");
      part.endtime = length;
      part.starttime = 0;
      if (show.partnumber > 0) {
        const Part &previous = show.parts[show.partnumber - 1];
        part.endtime = wrappingAdd(part.endtime, previous.endtime);
        part.starttime = previous.endtime;
      }
      writeLog("Length: %d - %d", part.starttime, part.endtime);
    } else {
      warnUnknown("<part>");
    }
  }
}

void Parser::parseLayer(Layer &layer, bool load) {
  const int openedAt = reader.tokenline;
  layer.shadowenabled[0] = 0;
  layer.shadowenabled[1] = 0;
  layer.shadownumber = 0;
  layer.color = 0xFFFFFFFFu;
  layer.avispeed = 1.0f;
  writeLog("--------------- LOADLAYER");

  for (;;) {
    if (!reader.next()) {
      warnUnclosed("<layer>", openedAt);
      break;
    }
    if (tokenIs(reader, "</layer>"))
      break;
    if (tokenIs(reader, "<shadow>")) {
      writeLog("LOADSHADOW");
      parseShadow(layer);
    } else if (tokenIs(reader, "type")) {
      nextValue("type");
      if (tokenIs(reader, "XFILE"))
        layer.type = LAYER_XFILE;
      else if (tokenIs(reader, "KTRFILE"))
        layer.type = LAYER_KTRFILE;
      else if (tokenIs(reader, "PICTURE"))
        layer.type = LAYER_PICTURE;
      else if (tokenIs(reader, "AVIPICTURE"))
        layer.type = LAYER_AVIPICTURE;
      else if (tokenIs(reader, "BLOB"))
        layer.type = LAYER_BLOB;
      else
        warnValue("type");
    } else if (tokenIs(reader, "avispeed")) {
      layer.avispeed = readReal("avispeed");
    } else if (tokenIs(reader, "envmap")) {
      nextValue("envmap");
      if (tokenIs(reader, "SPHEREMAP")) {
        layer.envmap = ENVMAP_SPHEREMAP;
      } else if (tokenIs(reader, "SPHEREMAP2")) {
        layer.envmap = ENVMAP_SPHEREMAP2;
        readFileName(layer.envmapfilename, "SPHEREMAP2");
        writeLog("SPHEREMAP2 %s", layer.envmapfilename);
      } else if (tokenIs(reader, "CUBEMAP")) {
        layer.envmap = ENVMAP_CUBEMAP;
      } else if (tokenIs(reader, "NONE")) {
        layer.envmap = ENVMAP_NONE;
      } else {
        warnValue("envmap");
      }
    } else if (tokenIs(reader, "cull")) {
      readSwitch(layer.cull, "cull");
    } else if (tokenIs(reader, "ztest")) {
      readDepth(layer.ztest, "ztest");
    } else if (tokenIs(reader, "zwrite")) {
      readDepth(layer.zwrite, "zwrite");
    } else if (tokenIs(reader, "blend")) {
      nextValue("blend");
      layer.srcblend = blendValue(reader.token);
      if (layer.srcblend < 0)
        warnValue("blend");
      writeLog("SrcBlend: %d", layer.srcblend);
      nextValue("blend");
      layer.dstblend = blendValue(reader.token);
      if (layer.dstblend < 0)
        warnValue("blend");
      writeLog("DstBlend: %d", layer.dstblend);
    } else if (tokenIs(reader, "filename")) {
      readFileName(layer.filename, "filename");
    } else if (tokenIs(reader, "position")) {
      readReals(layer.position, 3, "position");
    } else if (tokenIs(reader, "rotation")) {
      readReals(layer.rotation, 3, "rotation");
    } else if (tokenIs(reader, "rotationadd")) {
      readReals(layer.rotationadd, 3, "rotationadd");
      for (float &angle : layer.rotationadd)
        angle *= degreesToRadians;
    } else if (tokenIs(reader, "scale")) {
      readReals(layer.scale, 3, "scale");
    } else if (tokenIs(reader, "size")) {
      readReals(layer.size, 2, "size");
    } else if (tokenIs(reader, "alpha")) {
      layer.alpha = static_cast<std::uint8_t>(readInteger("alpha"));
    } else if (tokenIs(reader, "blobsnum")) {
      layer.blobsnum = readInteger("blobsnum");
    } else if (tokenIs(reader, "<blobs>")) {
      writeLog("LOADBLOB");
      parseBlobs(layer);
    } else if (tokenIs(reader, "color")) {
      const std::int32_t red = readInteger("color");
      const std::int32_t green = readInteger("color");
      const std::int32_t blue = readInteger("color");
      const std::int32_t alpha = readInteger("color");
      layer.color = packColor(red, green, blue, alpha);
    } else if (tokenIs(reader, "<timeline>")) {
      writeLog("LOADTIMELINE");
      parseTimeline(layer);
    } else {
      warnUnknown("<layer>");
    }
  }

  if (load && options.loaders && layer.type >= 0 &&
      layer.type < layerTypeCount) {
    if (const LayerLoader &loader = options.loaders->byType[layer.type])
      loader(layer);
  }
}

void Parser::parseTimeline(Layer &layer) {
  const int openedAt = reader.tokenline;
  // A second block replaces the keys of the first; its flags stay set.
  layer.positionvalues.reset(new float[maxKeys][3]());
  layer.scalevalues.reset(new float[maxKeys][3]());
  layer.rotationvalues.reset(new float[maxKeys][3]());
  layer.colorvalues.reset(new std::uint32_t[maxKeys]());
  layer.positiontimes.reset(new std::int32_t[maxKeys]());
  layer.scaletimes.reset(new std::int32_t[maxKeys]());
  layer.rotationtimes.reset(new std::int32_t[maxKeys]());
  layer.colortimes.reset(new std::int32_t[maxKeys]());
  layer.positioncount = layer.scalecount = 0;
  layer.rotationcount = layer.colorcount = 0;
  layer.hastimeline = 1;

  // In the order loops expand them and the log lists them.
  Channel channels[4] = {
      {"position", layer.positiontimes.get(), layer.positionvalues.get(),
       nullptr, layer.positioncount},
      {"rotation", layer.rotationtimes.get(), layer.rotationvalues.get(),
       nullptr, layer.rotationcount},
      {"scale", layer.scaletimes.get(), layer.scalevalues.get(), nullptr,
       layer.scalecount},
      {"color", layer.colortimes.get(), nullptr, layer.colorvalues.get(),
       layer.colorcount},
  };
  Channel &position = channels[0];
  Channel &rotation = channels[1];
  Channel &scale = channels[2];
  Channel &colour = channels[3];

  bool loopOpened = false;  // a <loop> was read in this block
  bool loopPending = false; // and its </loop> is still to come
  int loopLine = 0;
  std::int32_t period = 0;
  std::int32_t repeats = 0;
  std::int32_t marks[4] = {};

  auto logCounts = [&] {
    writeLog("%d - %d - %d - %d", position.count, rotation.count, scale.count,
             colour.count);
  };

  // Index at which the next key of `channel` goes, or -1 when it is full.
  auto slotFor = [&](Channel &channel, std::int32_t time) -> int {
    if (channel.count >= maxKeys) {
      ++channel.dropped;
      return -1;
    }
    if (channel.count > 0 && time < channel.times[channel.count - 1])
      warn(std::string(channel.name) + " key at " + std::to_string(time) +
           " ms comes before the previous one at " +
           std::to_string(channel.times[channel.count - 1]) + " ms");
    channel.times[channel.count] = time;
    return channel.count++;
  };

  for (;;) {
    if (!reader.next()) {
      warnUnclosed("<timeline>", openedAt);
      break;
    }
    if (tokenIs(reader, "</timeline>"))
      break;

    if (tokenIs(reader, "<loop>")) {
      if (loopPending)
        warn("<loop> replaces the loop opened at line " +
             std::to_string(loopLine) + ", which was never closed");
      loopLine = reader.tokenline;
      period = readInteger("<loop> period");
      repeats = readInteger("<loop> count");
      writeLog("LoopStart %d - %d", period, repeats);
      logCounts();
      for (int c = 0; c < 4; ++c)
        marks[c] = channels[c].count;
      loopOpened = true;
      loopPending = true;
      continue;
    }

    if (tokenIs(reader, "</loop>")) {
      writeLog("LoopEnd");
      logCounts();
      if (!loopOpened) {
        warn("</loop> without <loop> before it in the timeline");
        continue;
      }
      if (!loopPending)
        warn("</loop> without a <loop> of its own repeats the previous loop "
             "again");
      loopPending = false;
      for (int c = 0; c < 4; ++c) {
        Channel &channel = channels[c];
        const int first = marks[c];
        const int n = channel.count - first;
        if (n <= 0 || repeats <= 0)
          continue;
        // Bounded by the channel's capacity, whatever the repeat count.
        const std::int64_t wanted = static_cast<std::int64_t>(n) * repeats;
        std::int64_t appended = 0;
        for (std::int32_t r = 1; r <= repeats && channel.count < maxKeys; ++r) {
          // A shifted time beyond the int range wraps, as all of the
          // script's 32-bit arithmetic does.
          const std::int32_t shift =
              static_cast<std::int32_t>(static_cast<std::uint32_t>(r) *
                                        static_cast<std::uint32_t>(period));
          for (int i = 0; i < n && channel.count < maxKeys; ++i, ++appended) {
            const int to = channel.count++;
            channel.times[to] = wrappingAdd(channel.times[first + i], shift);
            channel.copyValue(first + i, to);
          }
        }
        channel.dropped += wanted - appended;
        for (int k = first + 1; k < channel.count; ++k) {
          if (channel.times[k] < channel.times[k - 1]) {
            warn(std::string("the loop's ") + channel.name +
                 " keys do not fit in one period: their copies are out of "
                 "time order");
            break;
          }
        }
      }
      continue;
    }

    // A key: its time, then the channel word and the channel's values.
    const int keyLine = reader.tokenline;
    if (!isScriptInteger(reader.token))
      warn(quoted(reader.token) + " is not a key time");
    const std::int32_t time = scriptInteger(reader.token);
    nextValue("key");
    if (tokenIs(reader, "position") || tokenIs(reader, "scale") ||
        tokenIs(reader, "rotation")) {
      Channel &channel = tokenIs(reader, "position") ? position
                         : tokenIs(reader, "scale")  ? scale
                                                     : rotation;
      float value[3];
      readReals(value, 3, channel.name);
      const int slot = slotFor(channel, time);
      if (slot >= 0)
        std::memcpy(channel.triples[slot], value, sizeof value);
    } else if (tokenIs(reader, "color")) {
      const std::int32_t red = readInteger("color");
      const std::int32_t green = readInteger("color");
      const std::int32_t blue = readInteger("color");
      const std::int32_t alpha = readInteger("color");
      const int slot = slotFor(colour, time);
      if (slot >= 0)
        layer.colorvalues[slot] = packColor(red, green, blue, alpha);
    } else {
      reader.warn(keyLine,
                  "unknown channel " + quoted(reader.token) + " in <timeline>");
    }
  }

  if (loopPending)
    reader.warn(loopLine, "<loop> is never closed: its keys are not repeated");

  for (Channel &channel : channels) {
    if (channel.dropped == 0)
      continue;
    reader.warn(openedAt, std::to_string(channel.dropped) + " " + channel.name +
                              " keys dropped: a channel holds at most " +
                              std::to_string(maxKeys));
  }

  if (layer.positioncount > 0)
    layer.haspositionkeys = 1;
  if (layer.scalecount > 0)
    layer.hasscalekeys = 1;
  if (layer.rotationcount > 0)
    layer.hasrotationkeys = 1;
  if (layer.colorcount > 0)
    layer.hascolorkeys = 1;
}

void Parser::parseBlobs(Layer &layer) {
  const int openedAt = reader.tokenline;
  int positions = 0, sizes = 0, muls = 0, types = 0;
  float spare[3];

  for (;;) {
    if (!reader.next()) {
      warnUnclosed("<blobs>", openedAt);
      break;
    }
    if (tokenIs(reader, "</blobs>"))
      break;
    if (tokenIs(reader, "position")) {
      readReals(positions < maxBlobs ? layer.blobposition[positions] : spare, 3,
                "position");
      ++positions;
    } else if (tokenIs(reader, "size")) {
      readReals(sizes < maxBlobs ? &layer.blobsize[sizes] : spare, 1, "size");
      ++sizes;
    } else if (tokenIs(reader, "mul")) {
      readReals(muls < maxBlobs ? layer.blobmul[muls] : spare, 3, "mul");
      ++muls;
    } else if (tokenIs(reader, "type")) {
      nextValue("type");
      std::int32_t shape = -1;
      if (tokenIs(reader, "SPHERE"))
        shape = BLOB_SPHERE;
      else if (tokenIs(reader, "CUBE"))
        shape = BLOB_CUBE;
      else if (tokenIs(reader, "TORUS"))
        shape = BLOB_TORUS;
      else
        warnValue("blob type");
      if (shape >= 0 && types < maxBlobs)
        layer.blobtype[types] = shape;
      ++types;
    } else {
      warnUnknown("<blobs>");
    }
  }

  const std::pair<const char *, int> counts[] = {
      {"position", positions}, {"size", sizes}, {"mul", muls}, {"type", types}};
  for (const auto &[keyword, count] : counts) {
    if (count <= maxBlobs)
      continue;
    reader.warn(openedAt, std::to_string(count - maxBlobs) + " " + keyword +
                              " entries dropped: a layer holds at most " +
                              std::to_string(maxBlobs) + " blobs");
  }
}

void Parser::parseShadow(Layer &layer) {
  const int openedAt = reader.tokenline;
  const int slot = layer.shadownumber;
  const bool kept = slot < maxShadows;
  // A block beyond the slots is read into scratch and forgotten.
  char spareName[fileNameCapacity];
  float spare[4][3];
  char(&filename)[fileNameCapacity] =
      kept ? layer.shadowfilename[slot] : spareName;
  float *lightValue = kept ? layer.light[slot] : spare[0];
  float *planeA = kept ? layer.plane_a[slot] : spare[1];
  float *planeB = kept ? layer.plane_b[slot] : spare[2];
  float *planeC = kept ? layer.plane_c[slot] : spare[3];
  if (kept)
    layer.shadowenabled[slot] = 1;

  for (;;) {
    if (!reader.next()) {
      warnUnclosed("<shadow>", openedAt);
      break;
    }
    if (tokenIs(reader, "</shadow>"))
      break;
    if (tokenIs(reader, "filename"))
      readFileName(filename, "filename");
    else if (tokenIs(reader, "light"))
      readReals(lightValue, 3, "light");
    else if (tokenIs(reader, "plane_a"))
      readReals(planeA, 3, "plane_a");
    else if (tokenIs(reader, "plane_b"))
      readReals(planeB, 3, "plane_b");
    else if (tokenIs(reader, "plane_c"))
      readReals(planeC, 3, "plane_c");
    else
      warnUnknown("<shadow>");
  }

  if (kept) {
    ++layer.shadownumber;
  } else {
    reader.warn(openedAt, "shadow dropped: a layer holds at most " +
                              std::to_string(maxShadows) + " shadows");
  }
}

bool runPass(Show &show, bool loadparts, const ParseOptions &options) {
  Parser parser(show, loadparts, options);
  const bool result = parser.parseScript();
  show.reader.close();
  show.reader.warnings = nullptr;
  return result;
}

} // namespace

std::int32_t blendValue(const char *token) {
  for (std::int32_t i = 0; i < 13; ++i) {
    if (std::strcmp(token, blendNames[i]) == 0)
      return i + 1;
  }
  return -1;
}

bool parseScript(Show &show, const char *filename, bool loadparts,
                 const ParseOptions &options) {
  show.reader.warnings = options.warnings;
  show.reader.open(filename);
  return runPass(show, loadparts, options);
}

bool parseScriptText(Show &show, std::string_view text, bool loadparts,
                     const ParseOptions &options) {
  show.reader.warnings = options.warnings;
  show.reader.openText(text);
  return runPass(show, loadparts, options);
}

bool parseSettings(Show &show, const char *filename,
                   const ParseOptions &options) {
  show.partnumber = 0;
  return parseScript(show, filename, false, options);
}

void releaseLayer(Layer &layer) {
  layer.resources.reset();
  layer.positionvalues.reset();
  layer.scalevalues.reset();
  layer.rotationvalues.reset();
  layer.colorvalues.reset();
  layer.positiontimes.reset();
  layer.scaletimes.reset();
  layer.rotationtimes.reset();
  layer.colortimes.reset();
  layer.positioncount = layer.scalecount = 0;
  layer.rotationcount = layer.colorcount = 0;
}

} // namespace korvane
