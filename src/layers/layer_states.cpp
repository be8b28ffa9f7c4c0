#include "layers/layer_states.h"

#include "gfxutil/picture_file.h"

namespace korvane {

void setLayerDepth(Device &device, const Layer &layer) {
  if (layer.ztest == DEPTH_ENABLE) {
    device.setRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device.setRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  } else if (layer.ztest == DEPTH_DISABLE) {
    device.setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  }
  if (layer.zwrite == DEPTH_ENABLE)
    device.setRenderState(D3DRS_ZWRITEENABLE, 1);
  else if (layer.zwrite == DEPTH_DISABLE)
    device.setRenderState(D3DRS_ZWRITEENABLE, 0);
}

bool setLayerBlend(Device &device, const Layer &layer) {
  if (layer.srcblend == 0 || layer.dstblend == 0) {
    device.setRenderState(D3DRS_ALPHABLENDENABLE, 0);
    return false;
  }
  // Passed as stored: an unknown name's -1 reaches the device, which
  // blends with ZERO there.
  device.setRenderState(D3DRS_ALPHABLENDENABLE, 1);
  device.setRenderState(D3DRS_SRCBLEND,
                        static_cast<std::uint32_t>(layer.srcblend));
  device.setRenderState(D3DRS_DESTBLEND,
                        static_cast<std::uint32_t>(layer.dstblend));
  return true;
}

std::unique_ptr<Texture> loadLayerTexture(const LoadContext &load,
                                          const char *name, Problem problem) {
  std::string reason;
  auto texture = loadTextureFromFile(load.device, name, &reason, load.files);
  if (!texture)
    load.logger.report(problem, name, 0, {name, reason});
  return texture;
}

} // namespace korvane
