// The blob layer's states on the null device.

#include "animation/layer_transform.h"
#include "layers/blob/blob_layer.h"
#include "script_util.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::test::drawLayer;
using korvane::test::parseBoth;

TEST(BlobLayer, LoadAndStates) {
  Device device(nullptr);
  LayerKinds loaders;
  loaders.byType[LAYER_BLOB].load = [&device](const Layer &layer,
                                              const Logger &logger) {
    return loadBlobLayer(layer, {device, logger});
  };
  auto parsed = parseBoth(
      "<demo> <part> length 1000 "
      "<layer> type BLOB filename missing.png ztest DISABLE zwrite DISABLE "
      "blend ONE ONE cull ENABLE blobsnum 1 <blobs> type SPHERE </blobs> "
      "position 0 0 3 scale 1 1 1 </layer> "
      "<layer> type BLOB blend ONE nothing blobsnum 1 </layer> "
      "<layer> type BLOB envmap CUBEMAP blobsnum 1 </layer> "
      "<layer> type BLOB blobsnum 40 </layer> </part>",
      &loaders);
  EXPECT_TRUE(parsed.logged("TEXTURE LOAD ERROR!"));
  // A count past the field's sixteen is cut, and said once.
  EXPECT_EQ(parsed.count(Problem::BlobCountCut), 1);
  EXPECT_EQ(parsed.first(Problem::BlobCountCut).text,
            "Blob count 40 cut to 16");
  Layer &first = parsed.show->parts[0].layers[0];
  Layer &second = parsed.show->parts[0].layers[1];
  Layer &cube = parsed.show->parts[0].layers[2];
  ASSERT_TRUE(parsed.made<BlobLayer>(0, 0));

  auto &backend = static_cast<NullBackend &>(device.backend());
  drawLayer(parsed, 0, 0);
  ASSERT_GT(parsed.made<BlobLayer>(0, 0)->field->triangleCount(), 0)
      << first.blobsnum;
  ASSERT_EQ(backend.draws, 1);
  EXPECT_GT(backend.vertices, 100);
  EXPECT_EQ(device.renderState(D3DRS_ZENABLE), D3DZB_FALSE);
  EXPECT_EQ(device.renderState(D3DRS_ZWRITEENABLE), 0u);
  EXPECT_EQ(device.renderState(D3DRS_ALPHABLENDENABLE), 1u);
  EXPECT_EQ(device.renderState(D3DRS_CULLMODE), D3DCULL_CCW);
  EXPECT_EQ(device.renderState(D3DRS_LIGHTING), 0u);
  EXPECT_EQ(device.renderState(D3DRS_NORMALIZENORMALS), 1u);
  EXPECT_EQ(device.textureStageState(0, D3DTSS_TEXCOORDINDEX),
            D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
  EXPECT_EQ(device.textureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS),
            D3DTTFF_COUNT2);
  EXPECT_EQ(device.transform(D3DTS_TEXTURE0).m[1][1], -0.5f);
  EXPECT_EQ(device.transform(D3DTS_TEXTURE0).m[3][0], 0.5f);
  EXPECT_EQ(device.transform(D3DTS_VIEW).m[3][2], 3.0f);
  EXPECT_EQ(device.state().fvf, 0x12u);
  EXPECT_EQ(device.state().stride, 24u);

  // Depth left unset keeps the states of the layer before. An unknown name
  // (-1) still counts as given; only a zero switches blending off.
  drawLayer(parsed, 0, 1);
  EXPECT_EQ(device.renderState(D3DRS_ALPHABLENDENABLE), 1u);
  EXPECT_EQ(device.renderState(D3DRS_DESTBLEND), 0xFFFFFFFFu);
  second.dstblend = 0;
  drawLayer(parsed, 0, 1);
  EXPECT_EQ(device.renderState(D3DRS_ZENABLE), D3DZB_FALSE);
  EXPECT_EQ(device.renderState(D3DRS_ZWRITEENABLE), 0u);
  EXPECT_EQ(device.renderState(D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_EQ(device.renderState(D3DRS_CULLMODE), D3DCULL_NONE);
  // CUBEMAP builds the surface and sets the view, and draws nothing.
  const int draws = backend.draws;
  drawLayer(parsed, 0, 2);
  EXPECT_EQ(backend.draws, draws);
  EXPECT_EQ(device.transform(D3DTS_VIEW), buildLayerTransform(cube, 0));
}
