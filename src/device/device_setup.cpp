#include "device/device_setup.h"

namespace korvane {

bool setupDevice(GraphicsDevice &graphics,
                 std::unique_ptr<DeviceBackend> backend, Arcball &arcball,
                 int width, int height, const Logger &logger,
                 DeviceListener *listener) {
  if (!backend)
    return false;
  const bool hardware = backend->hardwareVertexProcessing();
  logger.line(hardware ? " HARDWARE VERTEXPROCESSING"
                       : " SOFTWARE VERTEXPROCESSING");
  graphics.device = std::make_unique<Device>(std::move(backend), listener);
  Device &device = *graphics.device;

  device.setRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  device.setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  for (int stage = 0; stage < 2; ++stage) {
    device.setTextureStageState(stage, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    device.setTextureStageState(stage, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  }
  device.setRenderState(D3DRS_AMBIENT, 0xFFFFFFFFu);
  device.setRenderState(D3DRS_LIGHTING, 1);
  device.setRenderState(D3DRS_DITHERENABLE, 1);

  // Defined but off: lit geometry gets the white ambient level alone.
  Light light;
  light.type = D3DLIGHT_DIRECTIONAL;
  light.diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
  const Vec3 direction = vec3Normalize({0.0f, -1.0f, 0.0f});
  light.direction[0] = direction.x;
  light.direction[1] = direction.y;
  light.direction[2] = direction.z;
  light.position[1] = -1.0f;
  light.range = 1000.0f;
  device.setLight(0, light);
  device.lightEnable(0, false);

  arcball.setWindow(width, height, 0.85f);
  arcball.setTranslationRadius(1.0f);

  graphics.font = std::make_unique<TextureFont>("Arial", 12, fontBold);
  graphics.font->createDeviceResources(device);
  graphics.font->createDrawingResources();

  logger.line("D3D Init OK");
  logger.line("---------------------------------");
  return true;
}

void teardownDevice(GraphicsDevice &graphics) {
  if (graphics.font)
    graphics.font->releaseDeviceResources();
  graphics.font.reset();
  graphics.device.reset();
}

} // namespace korvane
