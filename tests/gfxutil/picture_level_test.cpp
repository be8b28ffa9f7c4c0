// The texture levels the file-to-texture loader makes: sides rounded up to
// powers of two through the triangle filter, a DDS file's own mip levels,
// and box-filtered levels below them.

#include "device/device.h"
#include "gfxutil/picture_file.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>

using namespace korvane;

namespace {

// The texture the loader makes of `bytes`, or null with `reason`.
std::unique_ptr<Texture> load(const std::string &bytes,
                              std::string *reason = nullptr) {
  const test::TempFolder folder;
  const std::string path = (folder.path / "picture").string();
  std::ofstream(path, std::ios::binary) << bytes;
  Device device(nullptr);
  return loadTextureFromFile(device, path, reason);
}

// A binary greymap, rows from the top.
std::string greymap(int w, int h, const std::vector<int> &grey) {
  std::string out =
      "P5 " + std::to_string(w) + " " + std::to_string(h) + " 255\n";
  for (int value : grey)
    out.push_back(static_cast<char>(value));
  return out;
}

// An uncompressed 24-bit DDS file declaring `declared` levels, each level
// of one colour (blue, green, red) from `colors`.
std::string ddsLevels(std::uint32_t w, std::uint32_t h, std::uint32_t declared,
                      const std::vector<std::array<char, 3>> &colors) {
  std::string out(128, '\0');
  const std::pair<std::size_t, std::uint32_t> fields[] = {
      {4, 124},       {8, 0x21007}, {12, h},     {16, w},
      {28, declared}, {76, 32},     {80, 0x40},  {88, 24},
      {92, 0xFF0000}, {96, 0xFF00}, {100, 0xFF}, {108, 0x401008}};
  std::memcpy(out.data(), "DDS ", 4);
  for (const auto &[offset, value] : fields)
    std::memcpy(out.data() + offset, &value, 4);
  for (std::size_t n = 0; n < colors.size(); ++n)
    for (std::uint32_t i = 0; i < std::max(1u, w >> n) * std::max(1u, h >> n);
         ++i)
      out.append(colors[n].data(), 3);
  return out;
}

// Level n's texels from the top left, one channel (blue) each.
std::vector<int> blues(const Texture &texture, std::uint32_t n,
                       std::size_t count) {
  std::vector<int> out;
  for (std::size_t i = 0; i < count; ++i)
    out.push_back(texture.pixels(n)[i * 4]);
  return out;
}

} // namespace

TEST(PictureLevels, SidesRoundUpToPowersOfTwoThroughTheTriangleFilter) {
  struct Case {
    int w, h;
    std::vector<int> grey;
    std::uint32_t width, height, levels;
    std::vector<int> level0; // from the top left
  };
  const std::vector<Case> cases = {
      // Interpolated between texel centres and averaged over each new
      // texel: 0, 0, 95.6, 244.4.
      {3, 1, {0, 0, 255}, 4, 1, 3, {0, 0, 96, 244}},
      {2, 1, {0, 255}, 2, 1, 2, {0, 255}}, // a power of two: copied
      // The side that keeps its size is filtered too: 1/8 of the neighbour.
      {3, 2, {0, 0, 0, 255, 255, 255}, 4, 2, 3, {32, 32, 32, 32, 223}},
      {100, 60, std::vector<int>(6000, 77), 128, 64, 8,
       std::vector<int>(129, 77)},
      {300, 200, std::vector<int>(60000, 5), 512, 256, 10, {5}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    std::string reason;
    auto texture = load(greymap(c.w, c.h, c.grey), &reason);
    ASSERT_TRUE(texture) << reason;
    EXPECT_EQ(texture->width(), c.width);
    EXPECT_EQ(texture->height(), c.height);
    EXPECT_EQ(texture->levelCount(), c.levels);
    EXPECT_EQ(blues(*texture, 0, c.level0.size()), c.level0);
  }
  // Below the filtered level, the box filter: (96 + 244) / 2.
  auto texture = load(greymap(3, 1, {0, 0, 255}));
  ASSERT_TRUE(texture);
  EXPECT_EQ(blues(*texture, 1, 2), (std::vector<int>{0, 170}));
  EXPECT_EQ(blues(*texture, 2, 1), (std::vector<int>{85}));
}

TEST(PictureLevels, DdsFilesBringTheirOwnMipLevels) {
  const std::array<char, 3> red{0, 0, 100}, green{0, 100, 0}, blue{90, 0, 0};
  struct Case {
    std::string file;
    std::vector<int> first; // each level's first texel, blue channel
  };
  const std::vector<Case> cases = {
      {ddsLevels(4, 4, 3, {red, blue, red}), {0, 90, 0}},
      // Below the file's levels, the box filter of its last one.
      {ddsLevels(4, 4, 2, {blue, red}), {90, 0, 0}},
      {ddsLevels(4, 4, 0, {blue}), {90, 90, 90}}, // no count: one level
      // Levels past 1x1 take their bytes but make no texture level.
      {ddsLevels(2, 2, 4, {red, blue, green, green}), {0, 90}},
  };
  for (const Case &c : cases) {
    std::string reason;
    auto texture = load(c.file, &reason);
    ASSERT_TRUE(texture) << reason;
    ASSERT_EQ(texture->levelCount(), c.first.size());
    for (std::uint32_t n = 0; n < texture->levelCount(); ++n)
      EXPECT_EQ(blues(*texture, n, 1)[0], c.first[n]) << "level " << n;
  }
  // A file that ends inside a declared level is refused whole, and so is
  // one that declares more levels than any file could hold.
  const std::string whole = ddsLevels(4, 4, 3, {red, green, blue});
  for (const std::string &file :
       {ddsLevels(4, 4, 3, {red, green}), whole.substr(0, whole.size() - 1),
        ddsLevels(4, 4, 0xFFFFFFFF, {red, green, blue})}) {
    std::string reason;
    EXPECT_FALSE(load(file, &reason));
    EXPECT_EQ(reason, "is cut short");
  }
}
