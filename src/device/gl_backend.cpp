#include "device/gl_backend.h"

#include "device/texgen.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

namespace korvane {
namespace {

// Slots of the enable cache.
int capSlot(GLenum cap) {
  switch (cap) {
  case GL_DEPTH_TEST:
    return 0;
  case GL_BLEND:
    return 1;
  case GL_CULL_FACE:
    return 2;
  case GL_ALPHA_TEST:
    return 3;
  case GL_LIGHTING:
    return 4;
  case GL_DITHER:
    return 5;
  case GL_NORMALIZE:
    return 6;
  case GL_COLOR_MATERIAL:
    return 7;
  case GL_LIGHT0:
  case GL_LIGHT1:
  case GL_LIGHT2:
  case GL_LIGHT3:
  case GL_LIGHT4:
  case GL_LIGHT5:
  case GL_LIGHT6:
  case GL_LIGHT7:
    return 8 + static_cast<int>(cap - GL_LIGHT0);
  default:
    return -1;
  }
}

GLenum compareFunc(std::uint32_t d3d) {
  static const GLenum table[] = {GL_NEVER,    GL_NEVER,  GL_LESS,
                                 GL_EQUAL,    GL_LEQUAL, GL_GREATER,
                                 GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  return d3d >= 1 && d3d <= 8 ? table[d3d] : GL_LEQUAL;
}

constexpr GLenum noFactor = ~0u; // GL_ZERO is 0

// GL's factor for a Direct3D blend value, or noFactor where Direct3D 8 has
// none (0, 14 on, and the two legacy values that only a source names).
// The back buffer is X8R8G8B8: the destination alpha it reads is 1.
GLenum blendFactor(std::uint32_t d3d) {
  switch (d3d) {
  case D3DBLEND_ZERO:
    return GL_ZERO;
  case D3DBLEND_ONE:
    return GL_ONE;
  case D3DBLEND_SRCCOLOR:
    return GL_SRC_COLOR;
  case D3DBLEND_INVSRCCOLOR:
    return GL_ONE_MINUS_SRC_COLOR;
  case D3DBLEND_SRCALPHA:
    return GL_SRC_ALPHA;
  case D3DBLEND_INVSRCALPHA:
    return GL_ONE_MINUS_SRC_ALPHA;
  case D3DBLEND_DESTALPHA:
    return GL_ONE;
  case D3DBLEND_INVDESTALPHA:
    return GL_ZERO;
  case D3DBLEND_DESTCOLOR:
    return GL_DST_COLOR;
  case D3DBLEND_INVDESTCOLOR:
    return GL_ONE_MINUS_DST_COLOR;
  case D3DBLEND_SRCALPHASAT:
    return GL_SRC_ALPHA_SATURATE;
  default:
    return noFactor;
  }
}

struct GlFormat {
  GLint internal;
  GLenum format, type;
};

GlFormat glFormat(PixelFormat format) {
  switch (format) {
  case D3DFMT_A8R8G8B8:
    return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV};
  case D3DFMT_X8R8G8B8:
    return {GL_RGB8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV};
  case D3DFMT_R5G6B5:
    return {GL_RGB5, GL_RGB, GL_UNSIGNED_SHORT_5_6_5};
  case D3DFMT_X1R5G5B5:
    return {GL_RGB5, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV};
  case D3DFMT_A1R5G5B5:
    return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV};
  case D3DFMT_A4R4G4B4:
    return {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV};
  case D3DFMT_R3G3B2:
    return {GL_R3_G3_B2, GL_RGB, GL_UNSIGNED_BYTE_3_3_2};
  default:
    return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV};
  }
}

GLenum combineSource(std::uint32_t arg) {
  switch (arg & 0xF) {
  case D3DTA_TEXTURE:
    return GL_TEXTURE;
  case D3DTA_DIFFUSE:
    return GL_PRIMARY_COLOR;
  default:
    return GL_PREVIOUS;
  }
}

void setColor(float *out, std::uint32_t argb) {
  out[0] = static_cast<float>((argb >> 16) & 0xFF) / 255.0f;
  out[1] = static_cast<float>((argb >> 8) & 0xFF) / 255.0f;
  out[2] = static_cast<float>(argb & 0xFF) / 255.0f;
  out[3] = static_cast<float>(argb >> 24) / 255.0f;
}

// Direct3D's clip depth runs 0..w, GL's -w..w: z' = 2z - w. Direct3D's
// pixel centres lie on whole window coordinates, GL's half a pixel right
// and down (in Direct3D's downward y): x' = x + w/width, y' = y - w/height.
Matrix projectionToGl(const Matrix &projection, int width, int height) {
  Matrix fix = matrixIdentity();
  fix.m[2][2] = 2.0f;
  fix.m[3][2] = -1.0f;
  fix.m[3][0] = 1.0f / static_cast<float>(width);
  fix.m[3][1] = -1.0f / static_cast<float>(height);
  return matrixMultiply(projection, fix);
}

} // namespace

GlBackend::GlBackend(int w, int h, std::function<void()> swapBuffers)
    : width(w), height(h), swap(std::move(swapBuffers)) {
  if (const GLubyte *name = glGetString(GL_RENDERER))
    renderername = reinterpret_cast<const char *>(name);
  // Software rasterisers do the vertex work on the CPU.
  hardware = renderername.find("llvmpipe") == std::string::npos &&
             renderername.find("softpipe") == std::string::npos &&
             renderername.find("Software") == std::string::npos;
  GLint size = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  if (size > 0)
    maxtexture = static_cast<std::uint32_t>(size);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  // A new context's blend function.
  appliedsrc = GL_ONE;
  applieddst = GL_ZERO;
  // The back buffer is X8R8G8B8: its alpha stays 1, as clears leave it.
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
  glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
}

GlBackend::~GlBackend() {
  for (Texture *texture : uploaded) {
    texture->backend = nullptr;
    texture->backendname = 0;
  }
}

void GlBackend::enable(unsigned cap, bool on) {
  const int slot = capSlot(cap);
  if (slot >= 0 && capknown[slot] && enabledcaps[slot] == on)
    return;
  on ? glEnable(cap) : glDisable(cap);
  ++statecalls;
  if (slot >= 0) {
    capknown[slot] = true;
    enabledcaps[slot] = on;
  }
}

void GlBackend::loadMatrix(unsigned mode, const Matrix &matrix) {
  const int slot = mode == GL_MODELVIEW    ? 0
                   : mode == GL_PROJECTION ? 1
                   : activeunit == 1       ? 3
                                           : 2;
  if (matrixknown[slot] && matrices[slot] == matrix)
    return;
  glMatrixMode(mode);
  // A row-vector Direct3D matrix has the memory layout of a column-vector
  // GL matrix: it loads unchanged.
  glLoadMatrixf(&matrix.m[0][0]);
  ++statecalls;
  matrices[slot] = matrix;
  matrixknown[slot] = true;
}

void GlBackend::activate(int unit) {
  if (activeunit == unit)
    return;
  glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
  glClientActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
  activeunit = unit;
  ++statecalls;
}

void GlBackend::texturingOn(int unit, bool on) {
  if (texturing[unit] == int(on))
    return;
  activate(unit);
  on ? glEnable(GL_TEXTURE_2D) : glDisable(GL_TEXTURE_2D);
  texturing[unit] = on;
  ++statecalls;
}

void GlBackend::generationOn(int unit, bool on) {
  if (generating[unit] == int(on))
    return;
  activate(unit);
  for (GLenum coord : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R})
    on ? glEnable(coord) : glDisable(coord);
  generating[unit] = on;
  ++statecalls;
}

void GlBackend::clientArray(int slot, unsigned array, bool on) {
  if (arrays[slot] == int(on))
    return;
  on ? glEnableClientState(array) : glDisableClientState(array);
  arrays[slot] = on;
}

void GlBackend::releaseTexture(Texture &texture) {
  if (texture.backendname) {
    const GLuint name = texture.backendname;
    for (unsigned &bound : boundname)
      if (bound == name)
        bound = 0;
    glDeleteTextures(1, &name);
  }
  texture.backendname = 0;
  texture.backend = nullptr;
  uploaded.erase(&texture);
}

void GlBackend::bindTexture(int unit, Texture *texture) {
  if (!texture)
    return;
  activate(unit);
  if (!texture->backendname) {
    GLuint name = 0;
    glGenTextures(1, &name);
    texture->backendname = name;
    texture->backend = this;
    uploaded.insert(texture);
  }
  if (boundname[unit] != texture->backendname) {
    glBindTexture(GL_TEXTURE_2D, texture->backendname);
    boundname[unit] = texture->backendname;
    // Filters and wrapping belong to the texture: set them again for it.
    envknown[unit] = false;
    ++statecalls;
  }
  // Uploaded when new or written since.
  if (texture->backendversion == texture->version())
    return;
  texture->backendversion = texture->version();
  const GlFormat format = glFormat(texture->format());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, format.internal,
               static_cast<GLsizei>(texture->width()),
               static_cast<GLsizei>(texture->height()), 0, format.format,
               format.type, texture->pixels());
}

void GlBackend::applyStage(const DeviceState &state, int stage,
                           bool pretransformed) {
  const std::uint32_t *ts = state.stagestate[stage];
  Texture *texture = state.texture[stage];
  // A stage with no texture passes its input through.
  if (!texture || ts[D3DTSS_COLOROP] == D3DTOP_DISABLE) {
    texturingOn(stage, false);
    generationOn(stage, false);
    return;
  }
  bindTexture(stage, texture);
  texturingOn(stage, true);

  const std::uint32_t env[10] = {ts[D3DTSS_COLOROP],   ts[D3DTSS_COLORARG1],
                                 ts[D3DTSS_COLORARG2], ts[D3DTSS_ALPHAOP],
                                 ts[D3DTSS_ALPHAARG1], ts[D3DTSS_ALPHAARG2],
                                 ts[D3DTSS_MINFILTER], ts[D3DTSS_MAGFILTER],
                                 ts[D3DTSS_ADDRESSU],  ts[D3DTSS_ADDRESSV]};
  if (!envknown[stage] || std::memcmp(env, envstate[stage], sizeof env)) {
    std::memcpy(envstate[stage], env, sizeof env);
    envknown[stage] = true;
    ++statecalls;
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    auto combine = [&](GLenum mode, GLenum src0, GLenum src1, GLenum operand0,
                       GLenum operand1, std::uint32_t op, std::uint32_t arg1,
                       std::uint32_t arg2, GLenum alpha) {
      GLint function = GL_MODULATE;
      std::uint32_t first = arg1, second = arg2;
      if (op == D3DTOP_SELECTARG1) {
        function = GL_REPLACE;
      } else if (op == D3DTOP_SELECTARG2) {
        function = GL_REPLACE;
        first = arg2;
      } else if (op == D3DTOP_DISABLE) {
        function = GL_REPLACE;
        first = D3DTA_CURRENT;
      }
      glTexEnvi(GL_TEXTURE_ENV, mode, function);
      glTexEnvi(GL_TEXTURE_ENV, src0, static_cast<GLint>(combineSource(first)));
      glTexEnvi(GL_TEXTURE_ENV, src1,
                static_cast<GLint>(combineSource(second)));
      glTexEnvi(GL_TEXTURE_ENV, operand0, static_cast<GLint>(alpha));
      glTexEnvi(GL_TEXTURE_ENV, operand1, static_cast<GLint>(alpha));
    };
    combine(GL_COMBINE_RGB, GL_SRC0_RGB, GL_SRC1_RGB, GL_OPERAND0_RGB,
            GL_OPERAND1_RGB, env[0], env[1], env[2], GL_SRC_COLOR);
    combine(GL_COMBINE_ALPHA, GL_SRC0_ALPHA, GL_SRC1_ALPHA, GL_OPERAND0_ALPHA,
            GL_OPERAND1_ALPHA, env[3], env[4], env[5], GL_SRC_ALPHA);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    env[6] == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER,
                    env[7] == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S,
                    env[8] == D3DTADDRESS_CLAMP ? GL_CLAMP_TO_EDGE : GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T,
                    env[9] == D3DTADDRESS_CLAMP ? GL_CLAMP_TO_EDGE : GL_REPEAT);
  }

  // Generated coordinates: the camera-space reflection vector (or normal),
  // through the stage's texture transform.
  const std::uint32_t generation = ts[D3DTSS_TEXCOORDINDEX] & 0xFFFF0000u;
  const bool generate = !pretransformed && generation != 0 && !cpugeneration;
  if (generate) {
    const GLint mode = generation == D3DTSS_TCI_CAMERASPACENORMAL
                           ? GL_NORMAL_MAP
                           : GL_REFLECTION_MAP;
    for (GLenum coord : {GL_S, GL_T, GL_R})
      glTexGeni(coord, GL_TEXTURE_GEN_MODE, mode);
  }
  generationOn(stage, generate);
  const bool transformed = ts[D3DTSS_TEXTURETRANSFORMFLAGS] != D3DTTFF_DISABLE;
  activate(stage);
  loadMatrix(GL_TEXTURE, transformed && !pretransformed && !cpugeneration
                             ? state.texturetransform[stage]
                             : matrixIdentity());
}

void GlBackend::clear(std::uint32_t flags, std::uint32_t color, float z,
                      std::uint32_t stencil) {
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    float c[4];
    setColor(c, color);
    glClearColor(c[0], c[1], c[2], 1.0f);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    // Direct3D clears depth whatever the write mask says.
    if (depthmask != 1) {
      glDepthMask(GL_TRUE);
      depthmask = 1;
    }
    glClearDepth(z);
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_STENCIL) {
    glClearStencil(static_cast<GLint>(stencil));
    mask |= GL_STENCIL_BUFFER_BIT;
  }
  if (mask & GL_COLOR_BUFFER_BIT)
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  if (mask)
    glClear(mask);
  if (mask & GL_COLOR_BUFFER_BIT)
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
}

void GlBackend::present() {
  if (swap)
    swap();
}

void GlBackend::draw(const DeviceState &state, PrimitiveType type,
                     std::uint32_t startVertex, std::uint32_t vertexCount) {
  prepare(state, startVertex, vertexCount);
  const GLenum mode = type == D3DPT_TRIANGLESTRIP ? GL_TRIANGLE_STRIP
                      : type == D3DPT_TRIANGLEFAN ? GL_TRIANGLE_FAN
                                                  : GL_TRIANGLES;
  glDrawArrays(mode, 0, static_cast<GLsizei>(vertexCount));
}

void GlBackend::drawIndexed(const DeviceState &state,
                            const std::uint32_t *indices,
                            std::uint32_t indexCount,
                            std::uint32_t vertexCount) {
  prepare(state, 0, vertexCount);
  glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indexCount),
                 GL_UNSIGNED_INT, indices);
}

void GlBackend::prepare(const DeviceState &state, std::uint32_t startVertex,
                        std::uint32_t vertexCount) {
  const std::uint32_t *rs = state.renderstate;
  const std::uint32_t fvf = state.fvf;
  const bool pretransformed = (fvf & D3DFVF_XYZRHW) != 0;

  // Depth, blending, alpha test, culling and the rest.
  enable(GL_DEPTH_TEST, rs[D3DRS_ZENABLE] != D3DZB_FALSE);
  const GLenum zfunc = compareFunc(rs[D3DRS_ZFUNC]);
  if (zfunc != depthfunc) {
    glDepthFunc(zfunc);
    depthfunc = zfunc;
    ++statecalls;
  }
  const int mask = rs[D3DRS_ZWRITEENABLE] ? 1 : 0;
  if (mask != depthmask) {
    glDepthMask(mask ? GL_TRUE : GL_FALSE);
    depthmask = mask;
    ++statecalls;
  }
  enable(GL_BLEND, rs[D3DRS_ALPHABLENDENABLE] != 0);
  if (rs[D3DRS_ALPHABLENDENABLE]) {
    // The legacy source values set both factors. A pair with a value
    // that has no factor (an unknown name in the script) is refused as a
    // whole, as Direct3D 8 refuses it: the last pair stays.
    const std::uint32_t source = rs[D3DRS_SRCBLEND];
    GLenum src = blendFactor(source);
    GLenum dst = blendFactor(rs[D3DRS_DESTBLEND]);
    if (source == D3DBLEND_BOTHSRCALPHA) {
      src = GL_SRC_ALPHA;
      dst = GL_ONE_MINUS_SRC_ALPHA;
    } else if (source == D3DBLEND_BOTHINVSRCALPHA) {
      src = GL_ONE_MINUS_SRC_ALPHA;
      dst = GL_SRC_ALPHA;
    }
    if (src != noFactor && dst != noFactor &&
        (src != appliedsrc || dst != applieddst)) {
      glBlendFunc(src, dst);
      appliedsrc = src;
      applieddst = dst;
      ++statecalls;
    }
  }
  enable(GL_ALPHA_TEST, rs[D3DRS_ALPHATESTENABLE] != 0);
  if (rs[D3DRS_ALPHATESTENABLE]) {
    const GLenum func = compareFunc(rs[D3DRS_ALPHAFUNC]);
    const float ref = static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF) / 255.0f;
    if (func != alphafunc || ref != alpharef) {
      glAlphaFunc(func, ref);
      alphafunc = func;
      alpharef = ref;
      ++statecalls;
    }
  }
  // Counter-clockwise culling removes what appears counter-clockwise on
  // the screen, which GL's window coordinates show the same way.
  const std::uint32_t cull = rs[D3DRS_CULLMODE];
  enable(GL_CULL_FACE, cull == D3DCULL_CW || cull == D3DCULL_CCW);
  if (cull == D3DCULL_CW || cull == D3DCULL_CCW) {
    const GLenum front = cull == D3DCULL_CCW ? GL_CW : GL_CCW;
    if (front != frontface) {
      glFrontFace(front);
      glCullFace(GL_BACK);
      frontface = front;
      ++statecalls;
    }
  }
  enable(GL_DITHER, rs[D3DRS_DITHERENABLE] != 0);
  enable(GL_NORMALIZE, rs[D3DRS_NORMALIZENORMALS] != 0);

  // Transforms. Pre-transformed vertices are screen pixels whose centres
  // lie on whole numbers, as in Direct3D.
  if (pretransformed) {
    Matrix ortho;
    ortho.m[0][0] = 2.0f / static_cast<float>(width);
    ortho.m[1][1] = -2.0f / static_cast<float>(height);
    ortho.m[2][2] = 2.0f;
    ortho.m[3][0] = -1.0f + 1.0f / static_cast<float>(width);
    ortho.m[3][1] = 1.0f - 1.0f / static_cast<float>(height);
    ortho.m[3][2] = -1.0f;
    ortho.m[3][3] = 1.0f;
    loadMatrix(GL_PROJECTION, ortho);
    loadMatrix(GL_MODELVIEW, matrixIdentity());
  } else {
    loadMatrix(GL_PROJECTION, projectionToGl(state.projection, width, height));
  }

  // Lighting, with lights placed in world space (through the view alone).
  const bool hasNormal = (fvf & D3DFVF_NORMAL) != 0;
  const bool hasDiffuse = (fvf & D3DFVF_DIFFUSE) != 0;
  const bool lit = !pretransformed && rs[D3DRS_LIGHTING] != 0;
  enable(GL_LIGHTING, lit);
  if (lit) {
    float ambient[4];
    setColor(ambient, rs[D3DRS_AMBIENT]);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    const Material &m = state.material;
    const float diffuse[4] = {m.diffuse.r, m.diffuse.g, m.diffuse.b,
                              m.diffuse.a};
    const float amb[4] = {m.ambient.r, m.ambient.g, m.ambient.b, m.ambient.a};
    const float shine[4] = {m.specular.r, m.specular.g, m.specular.b,
                            m.specular.a};
    const float emit[4] = {m.emissive.r, m.emissive.g, m.emissive.b,
                           m.emissive.a};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, amb);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, shine);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emit);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS,
                m.power < 0 ? 0 : (m.power > 128 ? 128 : m.power));
    // Vertex colours stand in for the material's diffuse colour.
    enable(GL_COLOR_MATERIAL, hasDiffuse);
    if (hasDiffuse)
      glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
    loadMatrix(GL_MODELVIEW, state.view);
    for (int i = 0; i < maxLights; ++i) {
      const GLenum light = GL_LIGHT0 + static_cast<GLenum>(i);
      enable(light, state.lightenabled[i]);
      if (!state.lightenabled[i])
        continue;
      const Light &l = state.lights[i];
      const float d[4] = {l.diffuse.r, l.diffuse.g, l.diffuse.b, l.diffuse.a};
      const float s[4] = {l.specular.r, l.specular.g, l.specular.b,
                          l.specular.a};
      const float a[4] = {l.ambient.r, l.ambient.g, l.ambient.b, l.ambient.a};
      glLightfv(light, GL_DIFFUSE, d);
      glLightfv(light, GL_SPECULAR, s);
      glLightfv(light, GL_AMBIENT, a);
      if (l.type == D3DLIGHT_DIRECTIONAL) {
        // GL points at the light; Direct3D gives the way the light goes.
        const float towards[4] = {-l.direction[0], -l.direction[1],
                                  -l.direction[2], 0.0f};
        glLightfv(light, GL_POSITION, towards);
      } else {
        const float at[4] = {l.position[0], l.position[1], l.position[2], 1.0f};
        glLightfv(light, GL_POSITION, at);
      }
    }
  } else {
    enable(GL_COLOR_MATERIAL, false);
  }
  if (!pretransformed) {
    const Matrix modelview = matrixMultiply(state.world, state.view);
    loadMatrix(GL_MODELVIEW, modelview);
    cpugeneration = flattens(modelview);
  } else {
    cpugeneration = false;
  }

  for (int stage = 0; stage < maxStages; ++stage) {
    // A disabled stage ends the cascade.
    if (stage > 0 &&
        state.stagestate[stage - 1][D3DTSS_COLOROP] == D3DTOP_DISABLE) {
      texturingOn(stage, false);
      generationOn(stage, false);
      continue;
    }
    applyStage(state, stage, pretransformed);
  }

  // The vertices, straight from the bound buffer.
  const std::uint8_t *base =
      state.stream->data() + std::size_t(startVertex) * state.stride;
  const GLsizei stride = static_cast<GLsizei>(state.stride);
  std::size_t offset = 0;
  if (!vertexarray) {
    glEnableClientState(GL_VERTEX_ARRAY);
    vertexarray = true;
  }
  glVertexPointer(3, GL_FLOAT, stride, base);
  offset += pretransformed ? 16 : 12;
  if (hasNormal) {
    clientArray(0, GL_NORMAL_ARRAY, true);
    glNormalPointer(GL_FLOAT, stride, base + offset);
    offset += 12;
  } else {
    clientArray(0, GL_NORMAL_ARRAY, false);
    glNormal3f(0.0f, 0.0f, 0.0f);
  }
  if (hasDiffuse) {
    // ARGB words as RGBA floats.
    scratch.resize(std::size_t(vertexCount) * 4);
    for (std::uint32_t v = 0; v < vertexCount; ++v) {
      std::uint32_t argb;
      std::memcpy(&argb, base + std::size_t(v) * state.stride + offset, 4);
      setColor(&scratch[std::size_t(v) * 4], argb);
    }
    clientArray(1, GL_COLOR_ARRAY, true);
    glColorPointer(4, GL_FLOAT, 0, scratch.data());
    offset += 4;
  } else {
    clientArray(1, GL_COLOR_ARRAY, false);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  }
  if (fvf & D3DFVF_SPECULAR)
    offset += 4;
  const std::uint32_t sets = (fvf >> 8) & 0xF;
  for (int stage = 0; stage < maxStages; ++stage) {
    const std::uint32_t set =
        state.stagestate[stage][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
    const bool computed =
        cpugeneration && texturing[stage] == 1 &&
        (state.stagestate[stage][D3DTSS_TEXCOORDINDEX] & 0xFFFF0000u) != 0;
    const bool used = computed || (set < sets && texturing[stage] == 1);
    if (used || arrays[2 + stage] != 0) {
      activate(stage);
      clientArray(2 + stage, GL_TEXTURE_COORD_ARRAY, used);
    }
    if (computed)
      generatedCoordinates(state, stage, base, vertexCount);
    else if (used)
      glTexCoordPointer(2, GL_FLOAT, stride, base + offset + 8 * set);
  }
}

void GlBackend::generatedCoordinates(const DeviceState &state, int stage,
                                     const std::uint8_t *base,
                                     std::uint32_t vertexCount) {
  const std::uint32_t *ts = state.stagestate[stage];
  TexgenInput input;
  input.vertices = base;
  input.stride = state.stride;
  input.count = vertexCount;
  input.normaloffset = (state.fvf & D3DFVF_NORMAL) ? 12 : -1;
  input.modelview = matrixMultiply(state.world, state.view);
  input.normal = normalMatrix(input.modelview);
  input.normalize = state.renderstate[D3DRS_NORMALIZENORMALS] != 0;
  input.reflection = (ts[D3DTSS_TEXCOORDINDEX] & 0xFFFF0000u) ==
                     D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR;
  input.texture = ts[D3DTSS_TEXTURETRANSFORMFLAGS] != D3DTTFF_DISABLE
                      ? &state.texturetransform[stage]
                      : nullptr;
  std::vector<float> &coordinates = generated[stage];
  coordinates.resize(std::size_t(vertexCount) * 2);
  generateCoordinates(input, coordinates.data());
  glTexCoordPointer(2, GL_FLOAT, 0, coordinates.data());
}

} // namespace korvane
