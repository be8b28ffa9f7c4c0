#include "script/show.h"

#include <algorithm>

namespace korvane {

std::uint32_t showLength(const Show &show) {
  std::uint32_t end = 0;
  for (int p = 0; p < show.partnumber && p < maxParts; ++p)
    end = std::max(end, static_cast<std::uint32_t>(show.parts[p].endtime));
  return end;
}

std::vector<std::string> filesNamed(const Show &show) {
  std::vector<std::string> out;
  auto add = [&out](const char *name) {
    if (name[0] && std::find(out.begin(), out.end(), name) == out.end())
      out.emplace_back(name);
  };
  for (int p = 0; p < show.partnumber && p < maxParts; ++p) {
    const Part &part = show.parts[p];
    for (int l = 0; l < part.layernumber && l < maxLayers; ++l) {
      const Layer &layer = part.layers[l];
      add(layer.filename);
      add(layer.envmapfilename);
      for (int s = 0; s < layer.shadownumber && s < maxShadows; ++s)
        add(layer.shadows[s].shadowfilename);
    }
  }
  return out;
}

} // namespace korvane
