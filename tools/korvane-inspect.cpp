// korvane-inspect: reads a show's script the way the player does and prints
// what it found as one JSON document.

#include "base/debuglog.h"
#include "base/media_path.h"
#include "inspect/show_json.h"
#include "layers/layer_kinds.h"
#include "metaballs/blob_field.h"
#include "script/parser.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

constexpr const char *usage =
    "usage: korvane-inspect [--settings-only] [--check] PATH\n"
    "       korvane-inspect --transform P,L --at MS [--shadow N] PATH\n"
    "       korvane-inspect --sample P,L --at MS PATH\n"
    "       korvane-inspect --blob-frame P,L --ticks T1,T2 PATH\n"
    "\n"
    "PATH is a show folder (holding \"Data/mirl .script\") or a script file.\n"
    "Runs the settings pass and the full pass as the player does, loading\n"
    "the media without drawing, and prints the show as JSON on standard\n"
    "output.\n"
    "\n"
    "  --settings-only  run the settings pass alone\n"
    "  --check          print the script's warnings on standard error as\n"
    "                   FILE:LINE: message, and the problems with the files\n"
    "                   it names as FILE: message; exit 3 if there are any\n"
    "  --transform P,L  print the matrix of layer L of part P (both from 0)\n"
    "                   at part time MS: 16 numbers, row by row\n"
    "  --shadow N       with --transform: the matrix of shadow draw N (1 or\n"
    "                   2) instead of the normal draw\n"
    "  --sample P,L     print the layer's position, scale, rotation and\n"
    "                   colour at part time MS as JSON\n"
    "  --blob-frame P,L set the blob layer up and build one frame of its\n"
    "                   surface with the tick readings T1 (drift) and T2\n"
    "                   (phase); prints the triangles' vertices as JSON\n"
    "  --help           show this text\n"
    "\n"
    "Exit status: 0 the script was read, 1 it does not begin with <demo>,\n"
    "2 PATH cannot be read, 3 --check found warnings or problems.\n";

// "P,L" as two numbers from 0, or false.
bool parsePair(const char *text, int &first, int &second) {
  char end = 0;
  return std::sscanf(text, "%d,%d%c", &first, &second, &end) == 2 &&
         first >= 0 && second >= 0;
}

bool parseNumber(const char *text, long long low, long long high,
                 long long &value) {
  char end = 0;
  return std::sscanf(text, "%lld%c", &value, &end) == 1 && value >= low &&
         value <= high;
}

// The script a PATH names, or empty when there is none to read.
std::string scriptPath(const std::string &path) {
  namespace fs = std::filesystem;
  std::error_code error;
  std::string script = path;
  if (fs::is_directory(path, error))
    script = korvane::resolveMediaPath(
        (fs::path(path) / "Data" / "mirl .script").string());
  if (!fs::is_regular_file(script, error))
    return {};
  std::FILE *file = std::fopen(script.c_str(), "rb");
  if (!file)
    return {};
  std::fclose(file);
  return script;
}

} // namespace

int main(int argc, char **argv) {
  bool settingsOnly = false;
  bool check = false;
  enum class Query { None, Transform, Sample, BlobFrame } query = Query::None;
  int queryPart = 0, queryLayer = 0;
  long long at = -1, shadow = 0;
  bool haveTicks = false;
  unsigned ticks[2] = {};
  std::string path;
  auto bad = [](const std::string &what) {
    std::cerr << "korvane-inspect: " << what << "\n" << usage;
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::cout << usage;
      return 0;
    } else if (arg == "--transform" || arg == "--sample") {
      if (!hasValue || !parsePair(argv[++i], queryPart, queryLayer))
        return bad(arg + " needs P,L");
      query = arg == "--transform" ? Query::Transform : Query::Sample;
    } else if (arg == "--blob-frame") {
      if (!hasValue || !parsePair(argv[++i], queryPart, queryLayer))
        return bad(arg + " needs P,L");
      query = Query::BlobFrame;
    } else if (arg == "--ticks") {
      char end = 0;
      if (!hasValue ||
          std::sscanf(argv[++i], "%u,%u%c", &ticks[0], &ticks[1], &end) != 2)
        return bad("--ticks needs T1,T2");
      haveTicks = true;
    } else if (arg == "--at") {
      if (!hasValue || !parseNumber(argv[++i], 0, 0xFFFFFFFFll, at))
        return bad("--at needs a part time in milliseconds");
    } else if (arg == "--shadow") {
      if (!hasValue || !parseNumber(argv[++i], 0, korvane::maxShadows, shadow))
        return bad("--shadow needs 0, 1 or 2");
    } else if (arg == "--settings-only") {
      settingsOnly = true;
    } else if (arg == "--check") {
      check = true;
    } else if (!arg.empty() && arg[0] == '-') {
      std::cerr << "korvane-inspect: unknown option " << arg << "\n" << usage;
      return 2;
    } else if (path.empty()) {
      path = arg;
    } else {
      std::cerr << "korvane-inspect: only one PATH may be given\n";
      return 2;
    }
  }
  if (path.empty())
    return bad("no PATH given");
  if ((query == Query::Transform || query == Query::Sample) && at < 0)
    return bad("--transform and --sample need --at MS");
  if (query == Query::BlobFrame && !haveTicks)
    return bad("--blob-frame needs --ticks T1,T2");
  const std::string script = scriptPath(path);
  if (script.empty()) {
    std::cerr << "korvane-inspect: cannot read a script at " << path << "\n";
    return 2;
  }

  auto show = std::make_unique<korvane::Show>();
  std::vector<std::string> log;
  std::vector<korvane::ScriptWarning> warnings;
  std::vector<std::string> problems; // with the media the script names
  korvane::setLogCapture(&log);
  korvane::setProblemCapture(&problems);

  // The settings pass only reads what the full pass reads again, so its
  // warnings are collected only when it runs alone.
  korvane::ParseOptions settingsOptions;
  if (settingsOnly)
    settingsOptions.warnings = &warnings;
  bool read = korvane::parseSettings(*show, script.c_str(), settingsOptions);
  // The loaders run on a device that draws nothing, from the script's own
  // folder, where the show's media are named from.
  korvane::Device device(nullptr);
  korvane::ScriptedTicks stillTicks{0};
  korvane::LayerLoaders loaders;
  korvane::LayerRenderers renderers;
  korvane::registerLayerKinds(loaders, renderers, device, stillTicks);
  if (!settingsOnly) {
    namespace fs = std::filesystem;
    const fs::path previous = fs::current_path();
    const fs::path absolute = fs::absolute(script);
    std::error_code error;
    fs::current_path(absolute.parent_path(), error);
    korvane::ParseOptions fullOptions;
    fullOptions.warnings = &warnings;
    fullOptions.loaders = &loaders;
    read = korvane::parseScript(*show, absolute.c_str(), true, fullOptions);
    fs::current_path(previous, error);
  }
  korvane::setLogCapture(nullptr);
  korvane::setProblemCapture(nullptr);

  if (query != Query::None) {
    if (queryPart >= show->partnumber ||
        queryLayer >= show->parts[queryPart].layernumber) {
      std::cerr << "korvane-inspect: the show has no layer " << queryLayer
                << " in part " << queryPart << "\n";
      return 2;
    }
    korvane::Layer &layer = show->parts[queryPart].layers[queryLayer];
    const auto t = static_cast<std::uint32_t>(at);
    if (query == Query::BlobFrame) {
      if (layer.type != korvane::LAYER_BLOB) {
        std::cerr << "korvane-inspect: layer " << queryLayer << " of part "
                  << queryPart << " is not a BLOB layer\n";
        return 2;
      }
      std::cout << korvane::blobFrameJson(layer, ticks[0], ticks[1]) << "\n";
    } else if (query == Query::Transform) {
      layer.shadowpass = static_cast<int>(shadow);
      std::cout << korvane::matrixText(korvane::buildLayerTransform(layer, t));
    } else {
      std::cout << korvane::sampleToJson(korvane::sampleLayer(layer, t)).dump(2)
                << "\n";
    }
    return read ? 0 : 1;
  }

  if (check) {
    for (const auto &warning : warnings)
      std::cerr << script << ":" << warning.line << ": " << warning.message
                << "\n";
    for (const std::string &problem : problems)
      std::cerr << script << ": " << problem << "\n";
    // A script that does not begin with <demo> always has its warning.
    return warnings.empty() && problems.empty() ? 0 : 3;
  }

  std::cout << korvane::showToJson(*show, log, warnings, problems)
                   .dump(2, ' ', false,
                         nlohmann::json::error_handler_t::replace)
            << "\n";
  return read ? 0 : 1;
}
