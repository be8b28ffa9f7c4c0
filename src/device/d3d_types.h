#pragma once

// The published Direct3D 8 numbers that scripts and renderers rely on:
// render states, texture stage states and their values, vertex formats,
// pixel formats, pools and the light and material records.

#include <cstdint>

namespace korvane {

// Render states.
enum : std::uint32_t {
  D3DRS_ZENABLE = 7,
  D3DRS_FILLMODE = 8,
  D3DRS_SHADEMODE = 9,
  D3DRS_ZWRITEENABLE = 14,
  D3DRS_ALPHATESTENABLE = 15,
  D3DRS_SRCBLEND = 19,
  D3DRS_DESTBLEND = 20,
  D3DRS_CULLMODE = 22,
  D3DRS_ZFUNC = 23,
  D3DRS_ALPHAREF = 24,
  D3DRS_ALPHAFUNC = 25,
  D3DRS_DITHERENABLE = 26,
  D3DRS_ALPHABLENDENABLE = 27,
  D3DRS_FOGENABLE = 28,
  D3DRS_SPECULARENABLE = 29,
  D3DRS_EDGEANTIALIAS = 40,
  D3DRS_STENCILENABLE = 52,
  D3DRS_CLIPPING = 136,
  D3DRS_LIGHTING = 137,
  D3DRS_AMBIENT = 139,
  D3DRS_NORMALIZENORMALS = 143,
  D3DRS_VERTEXBLEND = 151,
  D3DRS_CLIPPLANEENABLE = 152,
  D3DRS_INDEXEDVERTEXBLENDENABLE = 167,
  D3DRS_COUNT = 256,
};

// Texture stage states.
enum : std::uint32_t {
  D3DTSS_COLOROP = 1,
  D3DTSS_COLORARG1 = 2,
  D3DTSS_COLORARG2 = 3,
  D3DTSS_ALPHAOP = 4,
  D3DTSS_ALPHAARG1 = 5,
  D3DTSS_ALPHAARG2 = 6,
  D3DTSS_TEXCOORDINDEX = 11,
  D3DTSS_ADDRESSU = 13,
  D3DTSS_ADDRESSV = 14,
  D3DTSS_MAGFILTER = 16,
  D3DTSS_MINFILTER = 17,
  D3DTSS_MIPFILTER = 18,
  D3DTSS_TEXTURETRANSFORMFLAGS = 24,
  D3DTSS_ADDRESSW = 25,
  D3DTSS_COUNT = 32,
};

// Values.
enum : std::uint32_t {
  D3DZB_FALSE = 0,
  D3DZB_TRUE = 1,
  D3DFILL_SOLID = 3,
  D3DCULL_NONE = 1,
  D3DCULL_CW = 2,
  D3DCULL_CCW = 3,
  D3DCMP_NEVER = 1,
  D3DCMP_LESS = 2,
  D3DCMP_EQUAL = 3,
  D3DCMP_LESSEQUAL = 4,
  D3DCMP_GREATER = 5,
  D3DCMP_NOTEQUAL = 6,
  D3DCMP_GREATEREQUAL = 7,
  D3DCMP_ALWAYS = 8,
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_INVSRCCOLOR = 4,
  D3DBLEND_SRCALPHA = 5,
  D3DBLEND_INVSRCALPHA = 6,
  D3DBLEND_DESTALPHA = 7,
  D3DBLEND_INVDESTALPHA = 8,
  D3DBLEND_DESTCOLOR = 9,
  D3DBLEND_INVDESTCOLOR = 10,
  D3DBLEND_SRCALPHASAT = 11,
  D3DBLEND_BOTHSRCALPHA = 12,
  D3DBLEND_BOTHINVSRCALPHA = 13,
  D3DTOP_DISABLE = 1,
  D3DTOP_SELECTARG1 = 2,
  D3DTOP_SELECTARG2 = 3,
  D3DTOP_MODULATE = 4,
  D3DTA_DIFFUSE = 0,
  D3DTA_CURRENT = 1,
  D3DTA_TEXTURE = 2,
  D3DTEXF_NONE = 0,
  D3DTEXF_POINT = 1,
  D3DTEXF_LINEAR = 2,
  D3DTTFF_DISABLE = 0,
  D3DTTFF_COUNT2 = 2,
  D3DTTFF_PROJECTED = 256,
  D3DTSS_TCI_PASSTHRU = 0,
  D3DTSS_TCI_CAMERASPACENORMAL = 0x10000,
  D3DTSS_TCI_CAMERASPACEPOSITION = 0x20000,
  D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR = 0x30000,
  D3DVBF_DISABLE = 0,
  D3DTADDRESS_WRAP = 1,
  D3DTADDRESS_CLAMP = 3,
};

// Flexible vertex format bits; the codes used are their sums.
enum : std::uint32_t {
  D3DFVF_XYZ = 0x002,
  D3DFVF_XYZRHW = 0x004,
  D3DFVF_NORMAL = 0x010,
  D3DFVF_DIFFUSE = 0x040,
  D3DFVF_SPECULAR = 0x080,
  D3DFVF_TEX1 = 0x100,
  D3DFVF_TEX2 = 0x200,
};

// Transforms.
enum TransformType : std::uint32_t {
  D3DTS_VIEW = 2,
  D3DTS_PROJECTION = 3,
  D3DTS_TEXTURE0 = 16,
  D3DTS_TEXTURE1 = 17,
  D3DTS_WORLD = 256,
};

enum PixelFormat : std::uint32_t {
  D3DFMT_UNKNOWN = 0,
  D3DFMT_A8R8G8B8 = 21,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_R5G6B5 = 23,
  D3DFMT_X1R5G5B5 = 24,
  D3DFMT_A1R5G5B5 = 25,
  D3DFMT_A4R4G4B4 = 26,
  D3DFMT_R3G3B2 = 27,
  D3DFMT_D24S8 = 75,
};

enum Pool : std::uint32_t {
  D3DPOOL_DEFAULT = 0,
  D3DPOOL_MANAGED = 1,
  D3DPOOL_SYSTEMMEM = 2,
};

enum PrimitiveType : std::uint32_t {
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
};

enum : std::uint32_t {
  D3DCLEAR_TARGET = 1,
  D3DCLEAR_ZBUFFER = 2,
  D3DCLEAR_STENCIL = 4,
  D3DLOCK_DISCARD = 0x2000,
  D3DUSAGE_WRITEONLY = 0x8,
  D3DUSAGE_DYNAMIC = 0x200,
};

enum LightType : std::uint32_t {
  D3DLIGHT_POINT = 1,
  D3DLIGHT_SPOT = 2,
  D3DLIGHT_DIRECTIONAL = 3,
};

struct ColorValue {
  float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
  bool operator==(const ColorValue &) const = default;
};

struct Material {
  ColorValue diffuse, ambient, specular, emissive;
  float power = 0.0f;
  bool operator==(const Material &) const = default;
};

struct Light {
  std::uint32_t type = D3DLIGHT_DIRECTIONAL;
  ColorValue diffuse, specular, ambient;
  float position[3] = {};
  float direction[3] = {};
  float range = 0.0f;
  float falloff = 0.0f;
  float attenuation0 = 0.0f, attenuation1 = 0.0f, attenuation2 = 0.0f;
  float theta = 0.0f, phi = 0.0f;
  bool operator==(const Light &) const = default;
};

} // namespace korvane
