#pragma once

// The two filters the file-to-texture loader runs on 8-bit BGRA pixels
// (rows from the top, no padding): the triangle filter that scales a picture
// onto a texture level of another size, and the box filter that makes each
// mip level from the one above it.

#include <cstdint>
#include <vector>

namespace korvane {

// One source texel's share of a destination texel.
struct FilterTap {
  std::uint32_t from;
  float weight;
};

// For each of `to` destination texels along one axis, the source texels of
// `from` that reach it and their weights, which add up to one: the mean,
// over the destination texel, of the picture interpolated linearly between
// source texel centres and held flat beyond the outer ones.
std::vector<std::vector<FilterTap>> triangleTaps(std::uint32_t from,
                                                 std::uint32_t to);

// Scales `from` (fromWidth x fromHeight) onto `to` (toWidth x toHeight)
// with the triangle filter along both axes; each channel rounded to the
// nearest step.
void triangleFilter(const std::uint8_t *from, std::uint32_t fromWidth,
                    std::uint32_t fromHeight, std::uint8_t *to,
                    std::uint32_t toWidth, std::uint32_t toHeight);

// A mip level from the level above it: each texel the rounded mean of the
// 2x2 texels it covers (the same texel twice along a side of one).
void boxHalve(const std::uint8_t *from, std::uint32_t fromWidth,
              std::uint32_t fromHeight, std::uint8_t *to, std::uint32_t toWidth,
              std::uint32_t toHeight);

} // namespace korvane
