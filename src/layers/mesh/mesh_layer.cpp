#include "layers/mesh/mesh_layer.h"

#include "gfxutil/ktr_file.h"
#include "layers/layer_states.h"

#include <cstdio>
#include <cstring>

namespace korvane {
namespace {

void upload(DrawnMesh &drawn, Device &device) {
  drawn.vertices = device.createVertexBuffer(
      static_cast<std::uint32_t>(drawn.mesh.vertices.size()), 0, drawn.mesh.fvf,
      D3DPOOL_MANAGED);
  if (drawn.vertices) {
    std::memcpy(drawn.vertices->lock(0), drawn.mesh.vertices.data(),
                drawn.mesh.vertices.size());
    drawn.vertices->unlock();
  }
}

void drawSubset(Device &device, const DrawnMesh &drawn, std::uint32_t i) {
  if (!drawn.vertices || i >= drawn.mesh.subsets.size())
    return;
  const Mesh::Subset &subset = drawn.mesh.subsets[i];
  if (subset.facecount == 0)
    return;
  device.setStreamSource(drawn.vertices.get(), drawn.mesh.stride);
  device.setVertexShader(drawn.mesh.fvf);
  device.drawIndexedTriangles(drawn.mesh.indices.data() + 3 * subset.firstface,
                              subset.facecount);
}

// u = 0.25 x + 0.5, v = 0.5 - 0.25 y of the camera-space reflection vector.
Matrix sphereMap() {
  Matrix b = matrixIdentity();
  b.m[0][0] = 0.5f;
  b.m[1][1] = -0.5f;
  b.m[3][0] = 0.5f;
  b.m[3][1] = 0.5f;
  return matrixMultiply(matrixScaling(0.5f, 0.5f, 0.5f), b);
}

void clampStage(Device &device, int stage) {
  device.setTextureStageState(stage, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  device.setTextureStageState(stage, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
  device.setTextureStageState(stage, D3DTSS_ADDRESSW, D3DTADDRESS_CLAMP);
}

} // namespace

std::unique_ptr<MeshLayer> loadMeshLayer(const Layer &layer,
                                         const LoadContext &load) {
  Device &device = load.device;
  load.logger.line("FileName: %s", layer.filename);
  load.logger.line("Position: %f, %f, %f",
                   static_cast<double>(layer.position[0]),
                   static_cast<double>(layer.position[1]),
                   static_cast<double>(layer.position[2]));
  load.logger.line("SrcBlend: %d, DstBlend: %d", layer.srcblend,
                   layer.dstblend);
  auto resources = std::make_unique<MeshLayer>(device);
  std::vector<MeshMaterial> materials;
  std::string error;
  if (!loadMeshFromX(layer.filename, resources->mesh, materials, error,
                     load.files)) {
    load.logger.report(Problem::MeshNotLoaded, layer.filename, 0,
                       {layer.filename, error});
    return resources;
  }
  load.logger.line("Vertices: %d, Faces: %d",
                   static_cast<int>(resources->mesh.vertexcount),
                   static_cast<int>(resources->mesh.faceCount()));
  resources->materialnumber = static_cast<std::uint32_t>(materials.size());
  load.logger.line("Materials: %d",
                   static_cast<int>(resources->materialnumber));
  for (const MeshMaterial &loaded : materials) {
    Material material = loaded.material;
    material.ambient = material.diffuse;
    resources->materials.push_back(material);
    resources->texturenames.push_back(loaded.texturefile);
    resources->textures.push_back(
        loaded.texturefile.empty()
            ? nullptr
            : loadLayerTexture(load, loaded.texturefile.c_str(),
                               Problem::MaterialPictureNotLoaded));
  }
  resources->optimizedmesh.mesh = optimizeMesh(resources->mesh);
  upload(resources->optimizedmesh, device);
  if (layer.envmap == ENVMAP_SPHEREMAP2) {
    load.logger.line("CLONEMESH");
    resources->clonemesh.mesh =
        cloneMesh(resources->optimizedmesh.mesh,
                  D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX2);
    upload(resources->clonemesh, device);
    resources->envmaptexture =
        loadLayerTexture(load, layer.envmapfilename, Problem::PictureNotLoaded);
  }
  for (int slot = 0; slot < maxShadows; ++slot) {
    if (!layer.shadows[slot].shadowenabled)
      continue;
    load.logger.line(slot == 0 ? "SHADOW1" : "SHADOW2");
    // One shadow texture per layer: the second block's takes the place of
    // the first's.
    resources->shadowtexture =
        loadLayerTexture(load, layer.shadows[slot].shadowfilename,
                         Problem::ShadowPictureNotLoaded);
  }
  return resources;
}

void MeshLayer::draw(const Layer &layer, const LayerPose &pose) {
  const int pass = pose.pass;
  // A shadow block without its switch on draws nothing.
  if (pass > 0 && !layer.shadows[pass - 1].shadowenabled)
    return;
  device.setTransform(D3DTS_VIEW, pose.matrix);
  if (layer.envmap == ENVMAP_CUBEMAP)
    return;
  setLayerDepth(device, layer);
  setLayerBlend(device, layer);
  const bool two = layer.envmap == ENVMAP_SPHEREMAP2;
  if (two) {
    device.setTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    device.setTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device.setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device.setTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device.setTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device.setTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    device.setTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device.setTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device.setTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    device.setTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  } else {
    device.setTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  }
  device.setRenderState(D3DRS_CULLMODE,
                        layer.cull ? D3DCULL_CCW : D3DCULL_NONE);

  for (std::uint32_t i = 0; i < materialnumber; ++i) {
    device.setMaterial(materials[i]);
    if (pass == 0) {
      device.setTexture(0, textures[i].get());
    } else {
      device.setRenderState(D3DRS_ALPHABLENDENABLE, 0);
      device.setTexture(0, shadowtexture.get());
    }
    if (layer.envmap == ENVMAP_SPHEREMAP) {
      device.setTransform(D3DTS_TEXTURE0, sphereMap());
      device.setTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS,
                                  D3DTTFF_COUNT2);
      device.setTextureStageState(0, D3DTSS_TEXCOORDINDEX,
                                  D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
      clampStage(device, 0);
      device.setTexture(1, nullptr);
      drawSubset(device, optimizedmesh, i);
    } else if (two) {
      device.setTransform(D3DTS_TEXTURE1, sphereMap());
      device.setTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS,
                                  D3DTTFF_DISABLE);
      device.setTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
      device.setTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS,
                                  D3DTTFF_COUNT2);
      device.setTextureStageState(1, D3DTSS_TEXCOORDINDEX,
                                  D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
      clampStage(device, 1);
      device.setTexture(1, envmaptexture.get());
      drawSubset(device, clonemesh, i);
    } else {
      device.setTexture(1, nullptr);
      drawSubset(device, optimizedmesh, i);
    }
  }
}

void dumpKtrFile(const Layer &layer, const LoadContext &load) {
  std::string bytes, why;
  if (!load.files.read(layer.filename, bytes, why)) {
    load.logger.report(Problem::KtrUnreadable, layer.filename, 0,
                       {layer.filename});
    return;
  }
  const KtrFile ktr = readKtr(bytes);
  const std::size_t n = ktr.vertexcount;
  if (ktr.counted) {
    load.logger.line("VertexNum: %d", static_cast<int>(n));
    load.logger.line("-------------------");
    // Each section stops at the last whole record the file holds.
    for (const auto &v : ktr.positions)
      load.logger.line("%f, %f, %f", double(v[0]), double(v[1]), double(v[2]));
    if (ktr.positions.size() == n) {
      load.logger.line("-------------------");
      for (const auto &v : ktr.texcoords)
        load.logger.line("%f, %f", double(v[0]), double(v[1]));
      if (ktr.texcoords.size() == n) {
        load.logger.line("-------------------");
        for (const KtrFile::Weight &w : ktr.weights)
          load.logger.line("%d, %f, %f", w.index, double(w.u), double(w.v));
        if (ktr.whole)
          load.logger.line("-------------------");
      }
    }
  }
  if (!ktr.whole)
    load.logger.report(Problem::KtrCutShort, layer.filename, 0,
                       {layer.filename});
}

} // namespace korvane
