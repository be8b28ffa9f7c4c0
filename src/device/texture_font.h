#pragma once

#include "device/device.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct FT_FaceRec_;

namespace korvane {

constexpr std::uint32_t fontBold = 1;
constexpr std::uint32_t fontItalic = 2;
constexpr std::uint32_t fontZEnable = 4;
constexpr std::uint32_t drawFiltered = 4;

// Short texts over the frame: the printable ASCII characters of one face
// rasterised into an alpha texture, drawn as screen-space quads in batches
// of 50 characters between two state blocks.
class TextureFont {
public:
  TextureFont(const char *face, int height, std::uint32_t flags);
  ~TextureFont();
  TextureFont(const TextureFont &) = delete;
  TextureFont &operator=(const TextureFont &) = delete;

  // Negative on failure, as the device's codes are.
  int createDeviceResources(Device &device);
  int createDrawingResources();
  void releaseDrawingResources();
  void releaseDeviceResources();
  int drawString(float x, float y, std::uint32_t color, const char *text,
                 std::uint32_t drawflags);

  std::uint32_t textureWidth() const { return texwidth; }
  std::uint32_t textureHeight() const { return texheight; }
  float textScale() const { return textscale; }
  const float *cell(int code) const { return cells[code - 32]; }
  const Texture *texture() const { return glyphs.get(); }
  // The face file that fontconfig chose, for the log.
  const std::string &faceFile() const { return facefile; }

private:
  std::vector<std::uint8_t> layOutGlyphs(FT_FaceRec_ *face);

  char facename[80] = {};
  int height;
  std::uint32_t flags;
  Device *device = nullptr;
  std::unique_ptr<Texture> glyphs;
  std::unique_ptr<VertexBuffer> vertices;
  std::uint32_t texwidth = 0, texheight = 0;
  float textscale = 1.0f;
  float cells[96][4] = {};
  StateBlock savedblock = 0, drawingblock = 0;
  std::string facefile;
};

// The font file for a face name and weight, through fontconfig; empty when
// there is none.
std::string findFontFile(const char *face, bool bold);

} // namespace korvane
