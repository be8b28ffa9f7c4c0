#include "device/texture_font.h"

#ifndef KORVANE_FONT_FILE
#include <fontconfig/fontconfig.h>
#endif
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace korvane {
namespace {

constexpr int failure = -1;
constexpr std::uint32_t textFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr std::uint32_t textStride = 28;
constexpr std::uint32_t textVertices = 300;

struct TextVertex {
  float x, y, z, rhw;
  std::uint32_t color;
  float u, v;
};
static_assert(sizeof(TextVertex) == textStride);

// MulDiv: a * b / c rounded to the nearest, as the Windows helper does.
int mulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  return static_cast<int>((product + (product >= 0 ? c / 2 : -c / 2)) / c);
}

} // namespace

#ifdef KORVANE_FONT_FILE
// A build without fontconfig (the browser's) carries one font, the one
// fontconfig finds here for the overlay's bold Arial: its metric twin.
std::string findFontFile(const char *, bool) { return KORVANE_FONT_FILE; }
#else
std::string findFontFile(const char *face, bool bold) {
  std::string found;
  if (!FcInit())
    return found;
  FcPattern *pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY,
                     reinterpret_cast<const FcChar8 *>(face));
  FcPatternAddInteger(pattern, FC_WEIGHT,
                      bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  // A metric twin of the face, then DejaVu Sans, then whatever there is.
  FcPatternAddString(pattern, FC_FAMILY,
                     reinterpret_cast<const FcChar8 *>("DejaVu Sans"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  if (FcPattern *match = FcFontMatch(nullptr, pattern, &result)) {
    FcChar8 *file = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
      found = reinterpret_cast<const char *>(file);
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return found;
}
#endif

TextureFont::TextureFont(const char *face, int points, std::uint32_t creation)
    : height(points), flags(creation) {
  std::strncpy(facename, face, sizeof facename - 1);
}

TextureFont::~TextureFont() {
  releaseDrawingResources();
  releaseDeviceResources();
}

// White glyphs on black, laid out in rows with one texel between cells;
// each character's cell is kept in texture coordinates.
std::vector<std::uint8_t> TextureFont::layOutGlyphs(FT_FaceRec_ *face) {
  std::vector<std::uint8_t> bitmap(std::size_t(texwidth) * texheight, 0);
  const int ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
  const int descent =
      static_cast<int>((-face->size->metrics.descender + 63) >> 6);
  const int cy = ascent + descent;
  int x = 0, y = 0;
  for (int c = 32; c <= 126; ++c) {
    if (FT_Load_Char(face, static_cast<FT_ULong>(c), FT_LOAD_RENDER) != 0)
      continue;
    const FT_GlyphSlot glyph = face->glyph;
    const int cx = static_cast<int>((glyph->advance.x + 32) >> 6);
    if (x + cx + 1 > static_cast<int>(texwidth)) {
      x = 0;
      y += cy + 1;
    }
    const FT_Bitmap &image = glyph->bitmap;
    for (unsigned row = 0; row < image.rows; ++row) {
      const int ty = y + ascent - glyph->bitmap_top + static_cast<int>(row);
      if (ty < 0 || ty >= static_cast<int>(texheight))
        continue;
      for (unsigned column = 0; column < image.width; ++column) {
        const int tx = x + glyph->bitmap_left + static_cast<int>(column);
        if (tx < 0 || tx >= static_cast<int>(texwidth))
          continue;
        std::uint8_t &texel = bitmap[std::size_t(ty) * texwidth + tx];
        texel = std::max(texel, image.buffer[row * image.pitch + column]);
      }
    }
    float *cell = cells[c - 32];
    cell[0] = static_cast<float>(x) / static_cast<float>(texwidth);
    cell[1] = static_cast<float>(y) / static_cast<float>(texheight);
    cell[2] = static_cast<float>(x + cx) / static_cast<float>(texwidth);
    cell[3] = static_cast<float>(y + cy) / static_cast<float>(texheight);
    x += cx + 1;
  }
  return bitmap;
}

int TextureFont::createDeviceResources(Device &target) {
  device = &target;
  textscale = 1.0f;
  const std::uint32_t size = height > 40 ? 1024 : height > 20 ? 512 : 256;
  texwidth = texheight = size;
  const std::uint32_t limit = device->maxTextureSize();
  if (limit < size) {
    textscale = static_cast<float>(limit) / static_cast<float>(size);
    texwidth = texheight = limit;
  }
  glyphs = device->createTexture(texwidth, texheight, 1, 0, D3DFMT_A4R4G4B4,
                                 D3DPOOL_MANAGED);
  if (!glyphs)
    return failure;

  // 96 dots per inch, as the Windows screen has.
  const int pixels = mulDiv(height, static_cast<int>(96 * textscale), 72);
  facefile = findFontFile(facename, (flags & fontBold) != 0);
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  if (facefile.empty() || FT_Init_FreeType(&library) != 0)
    return failure;
  if (FT_New_Face(library, facefile.c_str(), 0, &face) != 0 ||
      FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels)) != 0) {
    if (face)
      FT_Done_Face(face);
    FT_Done_FreeType(library);
    return failure;
  }

  std::vector<std::uint8_t> bitmap = layOutGlyphs(face);
  FT_Done_Face(face);
  FT_Done_FreeType(library);

  // The top four bits of the brightness as alpha over white; black and
  // transparent elsewhere.
  std::uint8_t *rows = glyphs->lock(0);
  for (std::uint32_t ty = 0; ty < texheight; ++ty) {
    auto *texels =
        reinterpret_cast<std::uint16_t *>(rows + ty * glyphs->pitch());
    for (std::uint32_t tx = 0; tx < texwidth; ++tx) {
      const std::uint16_t a = bitmap[std::size_t(ty) * texwidth + tx] >> 4;
      texels[tx] = a ? static_cast<std::uint16_t>((a << 12) | 0x0FFF) : 0;
    }
  }
  glyphs->unlock(0);
  return 0;
}

int TextureFont::createDrawingResources() {
  if (!device)
    return failure;
  vertices = device->createVertexBuffer(textVertices * textStride,
                                        D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC,
                                        0, D3DPOOL_DEFAULT);
  if (!vertices)
    return failure;
  for (StateBlock *block : {&savedblock, &drawingblock}) {
    device->beginStateBlock();
    device->setTexture(0, glyphs.get());
    device->setRenderState(D3DRS_ZENABLE, (flags & fontZEnable) ? 1 : 0);
    device->setRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->setRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->setRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->setRenderState(D3DRS_ALPHATESTENABLE, 1);
    device->setRenderState(D3DRS_ALPHAREF, 8);
    device->setRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    device->setRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->setRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->setRenderState(D3DRS_STENCILENABLE, 0);
    device->setRenderState(D3DRS_CLIPPING, 1);
    device->setRenderState(D3DRS_EDGEANTIALIAS, 0);
    device->setRenderState(D3DRS_CLIPPLANEENABLE, 0);
    device->setRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    device->setRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, 0);
    device->setRenderState(D3DRS_FOGENABLE, 0);
    device->setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->setTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->setTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->setTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->setTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->setTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    device->setTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
    device->setTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
    device->setTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_NONE);
    device->setTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    device->setTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS,
                                 D3DTTFF_DISABLE);
    device->setTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->setTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    *block = device->endStateBlock();
  }
  return 0;
}

void TextureFont::releaseDrawingResources() {
  vertices.reset();
  if (device) {
    device->deleteStateBlock(savedblock);
    device->deleteStateBlock(drawingblock);
  }
  savedblock = drawingblock = 0;
}

void TextureFont::releaseDeviceResources() {
  glyphs.reset();
  device = nullptr;
}

int TextureFont::drawString(float x, float y, std::uint32_t color,
                            const char *text, std::uint32_t drawflags) {
  if (!device || !vertices)
    return failure;
  device->captureStateBlock(savedblock);
  device->applyStateBlock(drawingblock);
  device->setVertexShader(textFvf);
  device->setStreamSource(vertices.get(), textStride);
  if (drawflags & drawFiltered) {
    device->setTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    device->setTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  }

  const float startx = x;
  auto *out = reinterpret_cast<TextVertex *>(vertices->lock(0));
  std::uint32_t triangles = 0;
  const float *space = cells[0];
  for (const char *p = text; *p; ++p) {
    const signed char c = static_cast<signed char>(*p);
    if (c == '\n') {
      x = startx;
      y += (space[3] - space[1]) * static_cast<float>(texheight);
      continue;
    }
    // Control bytes and bytes from 128 on are skipped; 127 has no cell.
    if (c < 32 || c == 127)
      continue;
    const float *cell = cells[c - 32];
    const float left = cell[0], top = cell[1], right = cell[2],
                bottom = cell[3];
    const float w = (right - left) * static_cast<float>(texwidth) / textscale;
    const float h = (bottom - top) * static_cast<float>(texheight) / textscale;
    if (c != ' ') {
      TextVertex *v = out + triangles * 3;
      v[0] = {x - 0.5f, y + h - 0.5f, 0.9f, 1.0f, color, left, bottom};
      v[1] = {x - 0.5f, y - 0.5f, 0.9f, 1.0f, color, left, top};
      v[2] = {x + w - 0.5f, y + h - 0.5f, 0.9f, 1.0f, color, right, bottom};
      v[3] = {x + w - 0.5f, y - 0.5f, 0.9f, 1.0f, color, right, top};
      v[4] = {x + w - 0.5f, y + h - 0.5f, 0.9f, 1.0f, color, right, bottom};
      v[5] = {x - 0.5f, y - 0.5f, 0.9f, 1.0f, color, left, top};
      triangles += 2;
      if (triangles * 3 > 294) {
        vertices->unlock();
        device->drawPrimitive(D3DPT_TRIANGLELIST, 0, triangles);
        out = reinterpret_cast<TextVertex *>(vertices->lock(0));
        triangles = 0;
      }
    }
    x += w;
  }
  vertices->unlock();
  if (triangles)
    device->drawPrimitive(D3DPT_TRIANGLELIST, 0, triangles);
  device->applyStateBlock(savedblock);
  return 0;
}

} // namespace korvane
