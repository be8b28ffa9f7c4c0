#include "script/show.h"

#include <algorithm>

namespace korvane {

std::uint32_t showLength(const Show &show) {
  std::uint32_t end = 0;
  for (const Part &part : show.partsParsed())
    end = std::max(end, static_cast<std::uint32_t>(part.endtime));
  return end;
}

std::string unplayable(const Show &show) {
  if (show.partnumber <= 0)
    return "it holds no part";
  // The parts follow each other from 0: one that holds any time holds 0.
  if (showLength(show) == 0)
    return "no part has a length";
  return "";
}

std::vector<std::string> filesNamed(const Show &show) {
  std::vector<std::string> out;
  auto add = [&out](const char *name) {
    if (name[0] && std::find(out.begin(), out.end(), name) == out.end())
      out.emplace_back(name);
  };
  for (const Part &part : show.partsParsed())
    for (const Layer &layer : part.layersParsed()) {
      add(layer.filename);
      add(layer.envmapfilename);
      for (const Shadow &shadow : shadowsOf(layer))
        add(shadow.shadowfilename);
    }
  return out;
}

} // namespace korvane
