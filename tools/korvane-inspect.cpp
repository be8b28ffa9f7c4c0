// korvane-inspect: reads a show's script the way the player does and prints
// what it found as one JSON document.

#include "base/media_path.h"
#include "base/problems.h"
#include "inspect/show_json.h"
#include "layers/layer_kinds.h"
#include "metaballs/blob_field.h"
#include "script/parser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

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
    "Exit status: 0 the script was read, 1 the show could not be read (no\n"
    "script at PATH, or one that is empty or does not begin with <demo>),\n"
    "2 bad arguments, 3 --check found warnings or problems (a part without\n"
    "a length above 0 among them).\n";

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
    script = korvane::diskFiles().onDisk(
        (fs::path(path) / "Data" / "mirl .script").string());
  // Read once to know it can be: a FIFO or device is never waited on.
  std::string bytes, why;
  if (!korvane::diskFiles().read(script, bytes, why))
    return {};
  return script;
}

struct Arguments {
  bool settingsOnly = false;
  bool check = false;
  enum class Query { None, Transform, Sample, BlobFrame } query = Query::None;
  int part = 0, layer = 0;
  long long at = -1, shadow = 0;
  bool haveTicks = false;
  unsigned ticks[2] = {};
  std::string path;
};

int bad(const std::string &what) {
  std::cerr << "korvane-inspect: " << what << "\n" << usage;
  return 2;
}

// One option with a value; an error text, empty when it reads.
std::string option(const std::string &arg, const char *value, Arguments &a) {
  using Query = Arguments::Query;
  char end = 0;
  if (arg == "--transform" || arg == "--sample" || arg == "--blob-frame") {
    a.query = arg == "--transform" ? Query::Transform
              : arg == "--sample"  ? Query::Sample
                                   : Query::BlobFrame;
    return value && parsePair(value, a.part, a.layer) ? "" : arg + " needs P,L";
  }
  if (arg == "--ticks") {
    a.haveTicks = value && std::sscanf(value, "%u,%u%c", &a.ticks[0],
                                       &a.ticks[1], &end) == 2;
    return a.haveTicks ? "" : "--ticks needs T1,T2";
  }
  if (arg == "--at")
    return value && parseNumber(value, 0, 0xFFFFFFFFll, a.at)
               ? ""
               : "--at needs a part time in milliseconds";
  if (arg == "--shadow")
    return value && parseNumber(value, 0, korvane::maxShadows, a.shadow)
               ? ""
               : "--shadow needs 0, 1 or 2";
  return "unknown option " + arg;
}

// The arguments, or an exit status other than -1 when there is nothing to
// inspect (help, or bad arguments).
int parseArguments(int argc, char **argv, Arguments &a) {
  using Query = Arguments::Query;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << usage;
      return 0;
    } else if (arg == "--settings-only") {
      a.settingsOnly = true;
    } else if (arg == "--check") {
      a.check = true;
    } else if (!arg.empty() && arg[0] == '-') {
      const std::string error =
          option(arg, i + 1 < argc ? argv[i + 1] : nullptr, a);
      ++i;
      if (!error.empty())
        return bad(error);
    } else if (a.path.empty()) {
      a.path = arg;
    } else {
      std::cerr << "korvane-inspect: only one PATH may be given\n";
      return 2;
    }
  }
  if (a.path.empty())
    return bad("no PATH given");
  if ((a.query == Query::Transform || a.query == Query::Sample) && a.at < 0)
    return bad("--transform and --sample need --at MS");
  if (a.query == Query::BlobFrame && !a.haveTicks)
    return bad("--blob-frame needs --ticks T1,T2");
  return -1;
}

// A show read as the player reads it, its media loaded on a device that
// draws nothing, with its log lines and the problems reported.
struct Inspected {
  korvane::Device device{nullptr};
  std::unique_ptr<korvane::LoadedShow> loaded =
      std::make_unique<korvane::LoadedShow>();
  korvane::Show *show = &loaded->show;
  std::vector<std::string> log;
  std::vector<korvane::Report> reports;
  bool read = false;
};

// The script, and the folder its media are named from (the script's own),
// on the disk or in an archive.
void inspect(const korvane::ShowFolder &folder, bool settingsOnly,
             Inspected &out) {
  korvane::Logger logger;
  logger.addLines([&out](const std::string &line) { out.log.push_back(line); });
  logger.add(
      [&out](const korvane::Report &report) { out.reports.push_back(report); });
  for (const korvane::RefusedEntry &entry : folder.refused)
    logger.report(korvane::Problem::ArchiveEntryRefused, folder.archive, 0,
                  {folder.archive, entry.name, entry.why});
  // The settings pass tells of problems only when it runs alone.
  out.read = korvane::settingsPass(*out.show, folder.script, logger,
                                   !settingsOnly, folder.files.get());
  korvane::LayerKinds kinds;
  korvane::registerLayerKinds(kinds, out.device, folder.data, folder.files);
  if (!settingsOnly)
    out.read = korvane::fullPass(*out.loaded, folder.script, kinds, logger, {},
                                 folder.files.get());
}

int query(const Arguments &a, Inspected &inspected) {
  using Query = Arguments::Query;
  korvane::Show &show = *inspected.show;
  if (a.part >= show.partnumber || a.layer >= show.parts[a.part].layernumber) {
    std::cerr << "korvane-inspect: the show has no layer " << a.layer
              << " in part " << a.part << "\n";
    return 2;
  }
  korvane::Layer &layer = show.parts[a.part].layers[a.layer];
  const auto t = static_cast<std::uint32_t>(a.at);
  if (a.query == Query::BlobFrame) {
    if (layer.type != korvane::LAYER_BLOB) {
      std::cerr << "korvane-inspect: layer " << a.layer << " of part " << a.part
                << " is not a BLOB layer\n";
      return 2;
    }
    std::cout << korvane::blobFrameJson(layer, a.ticks[0], a.ticks[1]) << "\n";
  } else if (a.query == Query::Transform) {
    std::cout << korvane::matrixText(
        korvane::buildLayerTransform(layer, t, static_cast<int>(a.shadow)));
  } else {
    std::cout << korvane::sampleToJson(korvane::sampleLayer(layer, t)).dump(2)
              << "\n";
  }
  return inspected.read ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
  Arguments a;
  if (const int status = parseArguments(argc, argv, a); status >= 0)
    return status;
  korvane::ShowFolder folder;
  if (korvane::looksLikeArchive(a.path)) {
    folder = korvane::findShowFolder(a.path);
    if (!folder.files->exists(folder.script)) {
      std::cerr << "korvane-inspect: cannot read a script in " << a.path
                << (folder.unreadable.empty() ? "" : ": " + folder.unreadable)
                << "\n";
      return 1;
    }
  } else {
    folder.script = scriptPath(a.path);
    if (folder.script.empty()) {
      std::cerr << "korvane-inspect: cannot read a script at " << a.path
                << "\n";
      return 1;
    }
    const std::filesystem::path data =
        std::filesystem::absolute(folder.script).parent_path();
    folder.data = data.string();
    // The show reads its own folder's files, as the player lets it.
    folder.root = data.parent_path().string();
    folder.files = korvane::showFolderFiles(folder.root);
  }
  const std::string &script = folder.script;
  Inspected inspected;
  inspect(folder, a.settingsOnly, inspected);
  if (a.query != Arguments::Query::None)
    return query(a, inspected);
  if (a.check) {
    // Script problems name the script and a line; the others name the
    // script the file comes from.
    for (const korvane::Report &report : inspected.reports)
      std::cerr << (report.kind == korvane::ProblemKind::Script
                        ? korvane::describe(report)
                        : script + ": " + report.text)
                << "\n";
    // An empty script, or one that does not begin with <demo>, has been
    // said: there is no show to check.
    const bool empty =
        std::any_of(inspected.reports.begin(), inspected.reports.end(),
                    [](const korvane::Report &r) {
                      return r.id == korvane::Problem::ScriptEmpty;
                    });
    if (!inspected.read || empty)
      return 1;
    // The parts' own problems name their lines; this is the whole show's.
    const std::string why = korvane::unplayable(*inspected.show);
    if (!a.settingsOnly && !why.empty()) {
      std::cerr << script << ": nothing plays: " << why << "\n";
      return 3;
    }
    return inspected.reports.empty() ? 0 : 3;
  }
  std::cout << korvane::showToJson(*inspected.loaded, inspected.log,
                                   inspected.reports)
                   .dump(2, ' ', false,
                         nlohmann::json::error_handler_t::replace)
            << "\n";
  return inspected.read ? 0 : 1;
}
