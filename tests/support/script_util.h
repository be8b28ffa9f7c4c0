#pragma once

#include "animation/layer_transform.h"
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
  std::unique_ptr<LoadedShow> loaded = std::make_unique<LoadedShow>();
  Show *show = &loaded->show;
  std::vector<std::string> log;
  // What the full pass and the loaders reported, in order.
  std::vector<Report> reports;
  bool settingsRead = false;
  bool fullRead = false;

  const Part &part(int p) const { return show->parts[p]; }
  const Layer &layer(int p, int l) const { return show->parts[p].layers[l]; }
  // What loading made of a layer, as its kind's type.
  template <typename Made> Made *made(int p, int l) const {
    return static_cast<Made *>(loaded->layer(p, l));
  }
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
    options.load = [kinds, &parsed](const Layer &layer, LayerPlace place,
                                    const Logger &logger) {
      parsed.loaded->layers[place.part][place.layer] =
          kinds->load(layer, logger);
    };
  parsed.fullRead =
      parseScriptText(*parsed.show, text, true, reported, options);
  parsed.reports = reported.reports;
  parsed.log = reported.lines;
  return parsed;
}

// Draws pass `pass` of a loaded layer at part time `t`, posed as frames
// pose it.
inline void drawLayer(const Parsed &parsed, int p, int l, int pass = 0,
                      std::uint32_t t = 0) {
  const Layer &layer = parsed.layer(p, l);
  LayerPose pose;
  pose.partTime = pose.showTime = t;
  pose.pass = pass;
  pose.matrix = buildLayerTransform(layer, t, pass);
  pose.color = layerColor(layer, t);
  if (LoadedLayer *made = parsed.loaded->layer(p, l))
    made->draw(layer, pose);
}

// A whole script around one layer's body.
inline std::string layerScript(std::string_view body) {
  return "<demo>\n<part>\nlength 1000\n<layer>\n" + std::string(body) +
         "\n</layer>\n</part>\n";
}

} // namespace korvane::test
