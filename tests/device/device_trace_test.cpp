// The device trace: each call as one line, contents before the draws that
// read them, blocks as calls, releases when the objects go.

#include "device/device_trace.h"

#include "device/device.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

using namespace korvane;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> lines(const fs::path &file) {
  std::ifstream in(file);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);)
    out.push_back(line);
  return out;
}

std::string bytes(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(DeviceTrace, CallsInOrderWithContentBeforeDraws) {
  const korvane::test::TempFolder folder;
  {
    DeviceTrace trace(folder.path.string(), 64, 48);
    ASSERT_TRUE(trace.ok()) << trace.error();
    Device device(nullptr, &trace);
    device.setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    auto texture =
        device.createTexture(2, 2, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    std::memset(texture->lock(0), 0x7F, 16);
    texture->unlock(0);
    auto buffer = device.createVertexBuffer(72, 0, 0x142, D3DPOOL_DEFAULT);
    buffer->lock()[0] = 1;
    buffer->unlock();
    device.beginStateBlock();
    device.setTexture(0, texture.get());
    const StateBlock block = device.endStateBlock();
    device.applyStateBlock(block);
    device.setTransform(D3DTS_VIEW, matrixTranslation(0.5f, 0, 1e-3f));
    device.setStreamSource(buffer.get(), 24);
    device.setVertexShader(0x142);
    device.clear(D3DCLEAR_TARGET, 0xFF102030u, 1.0f, 0);
    device.beginScene();
    device.drawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
    device.drawPrimitive(D3DPT_TRIANGLELIST, 0, 1); // nothing new to write
    buffer->lock()[0] = 2;
    buffer->unlock();
    const std::uint32_t indices[3] = {2, 1, 0};
    device.drawIndexedTriangles(indices, 1);
    device.drawPrimitive(D3DPT_TRIANGLELIST, 1, 1); // past the end: refused
    device.endScene();
    device.present();
    texture.reset();
    EXPECT_TRUE(trace.ok()) << trace.error();
  }
  const std::vector<std::string> expected = {
      "korvane-device-trace 1",
      "device 64 48",
      "rs 22 1",
      "texture 1 2 2 2 21 1 0",
      "vbuffer 2 72 0 322 0",
      "beginstateblock",
      "settexture 0 1",
      "endstateblock 1",
      "applystateblock 1",
      "transform 2 1 0 0 0 0 1 0 0 0 0 1 0 0.5 0 0.00100000005 1",
      "stream 2 24",
      "fvf 322",
      "clear 1 4279246896 1 0",
      "beginscene",
      "texlevel 1 0 d000001.bin",
      "texlevel 1 1 d000002.bin",
      "vbdata 2 d000003.bin",
      "draw 4 0 1",
      "draw 4 0 1",
      "vbdata 2 d000004.bin",
      "drawindexed 1 d000005.bin",
      "endscene",
      "present",
      "release 1",
      "release 2"};
  EXPECT_EQ(lines(folder.path / "trace.txt"), expected);
  EXPECT_EQ(bytes(folder.path / "d000001.bin"), std::string(16, '\x7f'));
  EXPECT_EQ(bytes(folder.path / "d000002.bin"), std::string(4, '\0'));
  const std::string vertices = bytes(folder.path / "d000004.bin");
  ASSERT_EQ(vertices.size(), 72u);
  EXPECT_EQ(vertices[0], 2);
  EXPECT_EQ(bytes(folder.path / "d000005.bin"),
            std::string("\2\0\0\0\1\0\0\0\0\0\0\0", 12));
}

TEST(DeviceTrace, SameContentOneFileAndObjectsOutliveTheTrace) {
  const korvane::test::TempFolder folder;
  std::unique_ptr<Texture> kept;
  {
    DeviceTrace trace(folder.path.string(), 8, 8);
    Device device(nullptr, &trace);
    auto a = device.createVertexBuffer(12, 0, 2, D3DPOOL_DEFAULT);
    auto b = device.createVertexBuffer(12, 0, 2, D3DPOOL_DEFAULT);
    kept = device.createTexture(1, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED);
    device.setStreamSource(a.get(), 12);
    device.setVertexShader(2);
    device.drawPrimitive(D3DPT_TRIANGLELIST, 0, 0); // no primitives: refused
    const std::uint32_t none[3] = {0, 0, 0};
    device.drawIndexedTriangles(none, 1);
  }
  // The texture outlives the trace: its destructor must not reach it.
  kept.reset();
  const auto text = lines(folder.path / "trace.txt");
  EXPECT_NE(std::find(text.begin(), text.end(), "vbuffer 1 12 0 2 0"),
            text.end());
  EXPECT_NE(std::find(text.begin(), text.end(), "vbuffer 2 12 0 2 0"),
            text.end());
  EXPECT_EQ(std::find(text.begin(), text.end(), "release 3"), text.end());
  // Both empty buffers share one data file.
  EXPECT_NE(std::find(text.begin(), text.end(), "vbdata 1 d000001.bin"),
            text.end());
  EXPECT_NE(std::find(text.begin(), text.end(), "vbdata 2 d000001.bin"),
            text.end());
  EXPECT_EQ(std::count_if(
                text.begin(), text.end(),
                [](const std::string &l) { return l.rfind("draw", 0) == 0; }),
            1);

  DeviceTrace nowhere("/proc/korvane-cannot-be-here", 8, 8);
  EXPECT_FALSE(nowhere.ok());
  EXPECT_NE(nowhere.error().find("cannot write"), std::string::npos);
}

TEST(DeviceTrace, ObjectsThatOutliveTheDeviceAreReleasedInTheTrace) {
  const korvane::test::TempFolder folder;
  {
    DeviceTrace trace(folder.path.string(), 8, 8);
    std::unique_ptr<Texture> texture;
    {
      Device device(nullptr, &trace);
      texture =
          device.createTexture(1, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED);
    }
    texture.reset();
  }
  const auto text = lines(folder.path / "trace.txt");
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), "release 1");
}
