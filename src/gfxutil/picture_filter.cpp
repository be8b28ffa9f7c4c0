#include "gfxutil/picture_filter.h"

#include <algorithm>
#include <cmath>

namespace korvane {
namespace {

// Shares this small are rounding noise and left out.
constexpr float negligible = 0.00001f;

void addShare(std::vector<FilterTap> &taps, std::uint32_t from, float share) {
  if (!taps.empty() && taps.back().from == from)
    taps.back().weight += share;
  else
    taps.push_back({from, share});
}

// One source row through the horizontal taps, as floats.
void filterRow(const std::uint8_t *from,
               const std::vector<std::vector<FilterTap>> &across, float *to) {
  for (std::size_t x = 0; x < across.size(); ++x) {
    float sum[4] = {};
    for (const FilterTap &tap : across[x]) {
      const std::uint8_t *texel = from + std::size_t(tap.from) * 4;
      for (int c = 0; c < 4; ++c)
        sum[c] += tap.weight * float(texel[c]);
    }
    std::copy(sum, sum + 4, to + x * 4);
  }
}

std::uint8_t nearestStep(float value) {
  return static_cast<std::uint8_t>(std::clamp(value, 0.f, 255.f) + 0.5f);
}

} // namespace

std::vector<std::vector<FilterTap>> triangleTaps(std::uint32_t from,
                                                 std::uint32_t to) {
  std::vector<std::vector<FilterTap>> taps(to);
  if (from == 0 || to == 0)
    return taps;
  // Distances in destination texels; source texel u's centre lies at
  // (u + 0.5) * scale.
  const float scale = float(to) / float(from);
  const float toSource = 0.5f / scale;
  for (std::uint32_t u = 0; u < from; ++u) {
    // Texel u's weight rises from the centre of the texel before to its
    // own, then falls to the centre of the next; past the first and the
    // last centre it holds at one.
    for (int side = 0; side < 2; ++side) {
      const float start = float(u) + float(side) - 0.5f;
      const float low = std::max(0.f, start * scale);
      const float high = std::min(float(to), start * scale + scale);
      for (auto k = static_cast<std::int64_t>(std::floor(low));
           float(k) < high && k < std::int64_t(to); ++k) {
        const float d0 = std::max(float(k), low);
        const float d1 = std::min(float(k + 1), high);
        if (d1 <= d0)
          continue;
        // The weight is linear, so its mean over [d0, d1] is its value at
        // the middle.
        float rising = (d0 + d1) * toSource - start;
        if (start < 0.f)
          rising = 1.f;
        else if (start + 1.f >= float(from))
          rising = 0.f;
        addShare(taps[std::size_t(k)], u,
                 (d1 - d0) * (side ? 1.f - rising : rising));
      }
    }
  }
  for (auto &list : taps)
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](const FilterTap &tap) {
                                return tap.weight <= negligible;
                              }),
               list.end());
  return taps;
}

void triangleFilter(const std::uint8_t *from, std::uint32_t fromWidth,
                    std::uint32_t fromHeight, std::uint8_t *to,
                    std::uint32_t toWidth, std::uint32_t toHeight) {
  const auto across = triangleTaps(fromWidth, toWidth);
  const auto down = triangleTaps(fromHeight, toHeight);
  // Source rows filtered across, kept while the rows below still need
  // them: each destination row reads at most `span` neighbouring ones.
  std::size_t span = 1;
  for (const auto &taps : down)
    if (!taps.empty())
      span =
          std::max<std::size_t>(span, taps.back().from - taps.front().from + 1);
  const std::size_t rowFloats = std::size_t(toWidth) * 4;
  std::vector<float> rows(span * rowFloats);
  std::vector<std::int64_t> held(span, -1);
  std::vector<float> sum(rowFloats);
  for (std::uint32_t v = 0; v < toHeight; ++v) {
    std::fill(sum.begin(), sum.end(), 0.f);
    for (const FilterTap &tap : down[v]) {
      const std::size_t slot = tap.from % span;
      float *row = rows.data() + slot * rowFloats;
      if (held[slot] != tap.from) {
        filterRow(from + std::size_t(tap.from) * fromWidth * 4, across, row);
        held[slot] = tap.from;
      }
      for (std::size_t i = 0; i < rowFloats; ++i)
        sum[i] += tap.weight * row[i];
    }
    std::uint8_t *out = to + std::size_t(v) * rowFloats;
    for (std::size_t i = 0; i < rowFloats; ++i)
      out[i] = nearestStep(sum[i]);
  }
}

void boxHalve(const std::uint8_t *from, std::uint32_t fromWidth,
              std::uint32_t fromHeight, std::uint8_t *to, std::uint32_t toWidth,
              std::uint32_t toHeight) {
  for (std::uint32_t y = 0; y < toHeight; ++y) {
    const std::uint32_t y0 = std::min(2 * y, fromHeight - 1);
    const std::uint32_t y1 = std::min(2 * y + 1, fromHeight - 1);
    for (std::uint32_t x = 0; x < toWidth; ++x) {
      const std::uint32_t x0 = std::min(2 * x, fromWidth - 1);
      const std::uint32_t x1 = std::min(2 * x + 1, fromWidth - 1);
      const std::uint8_t *corner[4] = {
          from + (std::size_t(y0) * fromWidth + x0) * 4,
          from + (std::size_t(y0) * fromWidth + x1) * 4,
          from + (std::size_t(y1) * fromWidth + x0) * 4,
          from + (std::size_t(y1) * fromWidth + x1) * 4};
      for (int c = 0; c < 4; ++c) {
        const unsigned sum =
            corner[0][c] + corner[1][c] + corner[2][c] + corner[3][c];
        to[(std::size_t(y) * toWidth + x) * 4 + c] =
            static_cast<std::uint8_t>((sum + 2) / 4);
      }
    }
  }
}

} // namespace korvane
