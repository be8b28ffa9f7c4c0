#pragma once

#include "playback/layer_kind.h"
#include "problem_capture.h"
#include "script/parser.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::test {

// Both passes over a script text, as the player runs them, with the log
// lines and the full pass's warnings collected.
struct Parsed {
  std::unique_ptr<Show> show = std::make_unique<Show>();
  std::vector<std::string> log;
  // What the full pass and the loaders reported, in order.
  std::vector<Report> reports;
  bool settingsRead = false;
  bool fullRead = false;

  const Part &part(int p) const { return show->parts[p]; }
  const Layer &layer(int p, int l) const { return show->parts[p].layers[l]; }
  bool logged(std::string_view line) const {
    for (const auto &entry : log)
      if (entry == line)
        return true;
    return false;
  }
  long count(Problem id) const {
    return std::count_if(reports.begin(), reports.end(),
                         [id](const Report &r) { return r.id == id; });
  }
  bool reported(Problem id) const { return count(id) > 0; }
  // The first report of `id`; a default report when there is none.
  Report first(Problem id) const {
    for (const Report &report : reports)
      if (report.id == id)
        return report;
    return {};
  }
};

inline Parsed parseBoth(std::string_view text,
                        const LayerKinds *kinds = nullptr) {
  Parsed parsed;
  parsed.show->partnumber = 0;
  ReportedProblems reported;
  ParseOptions settings;
  settings.quiet = true; // the full pass reads it all again
  parsed.settingsRead =
      parseScriptText(*parsed.show, text, false, reported, settings);
  ParseOptions options;
  if (kinds)
    options.load = [kinds](Layer &layer, const Logger &logger) {
      kinds->load(layer, logger);
    };
  parsed.fullRead =
      parseScriptText(*parsed.show, text, true, reported, options);
  parsed.reports = reported.reports;
  parsed.log = reported.lines;
  return parsed;
}

// A whole script around one layer's body.
inline std::string layerScript(std::string_view body) {
  return "<demo>\n<part>\nlength 1000\n<layer>\n" + std::string(body) +
         "\n</layer>\n</part>\n";
}

} // namespace korvane::test
