#pragma once

#include "base/debuglog.h"
#include "script/parser.h"

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
  std::vector<ScriptWarning> warnings;
  std::vector<std::string> problems; // reported by the loaders
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
  bool reported(std::string_view line) const {
    for (const auto &entry : problems)
      if (entry == line)
        return true;
    return false;
  }
  bool warned(std::string_view fragment) const {
    for (const auto &warning : warnings)
      if (warning.message.find(fragment) != std::string::npos)
        return true;
    return false;
  }
};

inline Parsed parseBoth(std::string_view text,
                        const LayerLoaders *loaders = nullptr) {
  Parsed parsed;
  setLogCapture(&parsed.log);
  setProblemCapture(&parsed.problems);
  parsed.show->partnumber = 0;
  parsed.settingsRead = parseScriptText(*parsed.show, text, false);
  ParseOptions options;
  options.loaders = loaders;
  options.warnings = &parsed.warnings;
  parsed.fullRead = parseScriptText(*parsed.show, text, true, options);
  setLogCapture(nullptr);
  setProblemCapture(nullptr);
  return parsed;
}

// A whole script around one layer's body.
inline std::string layerScript(std::string_view body) {
  return "<demo>\n<part>\nlength 1000\n<layer>\n" + std::string(body) +
         "\n</layer>\n</part>\n";
}

} // namespace korvane::test
