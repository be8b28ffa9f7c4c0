#include "metaballs/blob_field.h"
#include "metaballs/marching_tables.h"
#include "script/show.h"

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <vector>

using namespace korvane;

namespace {

struct Blobs {
  int count = 0;
  float positions[16][3] = {};
  float sizes[16] = {};
  std::int32_t types[16] = {};
  float muls[16][3] = {};

  Blobs &add(int type, float mx, float my, float mz) {
    types[count] = type;
    muls[count][0] = mx;
    muls[count][1] = my;
    muls[count][2] = mz;
    ++count;
    return *this;
  }
};

struct Frame {
  int triangles = 0;
  std::vector<BlobVertex> vertices;
};

Frame polygonise(const Blobs &blobs, std::uint32_t drift, std::uint32_t phase,
                 int capacity = blobTriangleCapacity) {
  auto field = std::make_unique<BlobField>();
  field->setup(blobs.count, blobs.positions, blobs.sizes, blobs.types,
               blobs.muls);
  Frame frame;
  frame.vertices.assign(blobVertexCapacity, BlobVertex{-9, -9, -9, -9, -9, -9});
  ScriptedTicks ticks{drift, phase};
  frame.triangles = field->polygonise(frame.vertices.data(), ticks, capacity);
  EXPECT_EQ(field->triangleCount(), frame.triangles);
  return frame;
}

// The surface straight from its definition: a naive grid evaluated afresh,
// recursion for the flood, no caching. The field under test must give the
// very same triangles in the very same order.
class ReferenceField {
public:
  explicit ReferenceField(const Blobs &b) : blobs(b) {}

  std::vector<BlobVertex> run(std::uint32_t t1, std::uint32_t t2) {
    const float zshift = static_cast<float>(
        0.2 *
        std::cos(static_cast<double>(static_cast<float>(t1) * 0.0007621951f)));
    const float phi = static_cast<float>(t2) * 0.0010309279f;
    for (int i = 0; i < 16; ++i) {
      centre[i][0] = centre[i][1] = centre[i][2] = 0.0f;
      if (i < blobs.count) {
        centre[i][0] = blobs.muls[i][0] * std::cos(phi);
        centre[i][1] = blobs.muls[i][1] * std::cos(phi);
        centre[i][2] = blobs.muls[i][2] * std::sin(phi) + zshift;
      }
    }
    std::memset(value, 0, sizeof value);
    std::memset(visited, 0, sizeof visited);
    out.clear();
    for (int s = 0; s < 16; ++s) {
      const float seed =
          s < blobs.count ? (blobs.types[s] == 2 ? 0.11f : 0.14f) : 0.0f;
      int ax = static_cast<int>((seed + centre[s][0] + 1.0f - 0.05f) * 16.0f);
      ax = std::min(ax, 30);
      const int ay = static_cast<int>((centre[s][1] + 1.0f) * 16.0f);
      const int az = static_cast<int>((centre[s][2] + 1.0f) * 16.0f);
      if (ay < 1 || ay > 30 || az < 1 || az > 30)
        continue;
      flood(march(ax, ay, az), ay, az);
    }
    return out;
  }

private:
  float field(int i, int j, int k) const {
    const float x = i * 0.0625f - 1.0f, y = j * 0.0625f - 1.0f,
                z = k * 0.0625f - 1.0f;
    float sum = 0.0f;
    for (int b = 0; b < blobs.count; ++b) {
      const float dx = x - centre[b][0], dy = y - centre[b][1],
                  dz = z - centre[b][2];
      const float s2 =
          blobs.types[b] == 2 ? 0.0121f : static_cast<float>(0.14 * 0.14);
      if (blobs.types[b] == 1) {
        const float x2 = dx * dx, y2 = dy * dy, z2 = dz * dz;
        sum += (s2 * s2) / (x2 * x2 + y2 * y2 + z2 * z2);
      } else if (blobs.types[b] == 2) {
        const float ring = std::sqrt(dx * dx + dz * dz) - 0.21f;
        sum += s2 / (dy * dy + ring * ring);
      } else {
        sum += s2 / (dx * dx + dy * dy + dz * dz);
      }
    }
    return std::isinf(sum) ? FLT_MAX : sum;
  }
  float &at(int i, int j, int k) { return value[i][j][k]; }
  float get(int i, int j, int k) {
    if (at(i, j, k) == 0.0f)
      at(i, j, k) = field(i, j, k);
    return at(i, j, k);
  }
  int cube(int a, int b, int c, bool fresh) {
    int index = 0;
    for (int q = 0; q < 8; ++q) {
      const int i = a + cubeCorners[q][0], j = b + cubeCorners[q][1],
                k = c + cubeCorners[q][2];
      const float v = fresh ? (at(i, j, k) = field(i, j, k)) : get(i, j, k);
      if (v < 1.0f)
        index |= 1 << q;
    }
    return index;
  }
  int march(int a, int b, int c) {
    if (a <= 0)
      return a;
    for (;;) {
      if (visited[a][b][c] || cube(a, b, c, true) != 0)
        return a;
      if (--a == 0)
        return 0;
    }
  }
  void flood(int a, int b, int c) {
    if (a < 1 || a > 30 || b < 1 || b > 30 || c < 1 || c > 30 ||
        visited[a][b][c])
      return;
    visited[a][b][c] = 1;
    const int index = cube(a, b, c, false);
    if (edgeTable.entry[index] == 0)
      return;
    triangulate(a, b, c, index);
    flood(a - 1, b, c);
    flood(a + 1, b, c);
    flood(a, b - 1, c);
    flood(a, b + 1, c);
    flood(a, b, c - 1);
    flood(a, b, c + 1);
  }
  void triangulate(int a, int b, int c, int index) {
    float p[8][6];
    for (int q = 0; q < 8; ++q) {
      const int i = a + cubeCorners[q][0], j = b + cubeCorners[q][1],
                k = c + cubeCorners[q][2];
      p[q][0] = i * 0.0625f - 1.0f;
      p[q][1] = j * 0.0625f - 1.0f;
      p[q][2] = k * 0.0625f - 1.0f;
      float n[3] = {get(i - 1, j, k) - get(i + 1, j, k),
                    get(i, j - 1, k) - get(i, j + 1, k),
                    get(i, j, k - 1) - get(i, j, k + 1)};
      const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      for (int d = 0; d < 3; ++d)
        p[q][3 + d] = length > 0.0f ? n[d] / length : n[d];
    }
    BlobVertex vertex[12];
    for (int e = 0; e < 12; ++e) {
      if (!(edgeTable.entry[index] & (1 << e)))
        continue;
      const int qa = cubeEdges[e][0], qb = cubeEdges[e][1];
      const float va = get(a + cubeCorners[qa][0], b + cubeCorners[qa][1],
                           c + cubeCorners[qa][2]);
      const float vb = get(a + cubeCorners[qb][0], b + cubeCorners[qb][1],
                           c + cubeCorners[qb][2]);
      const float t = (1.0f - va) / (vb - va);
      float r[6];
      for (int d = 0; d < 6; ++d)
        r[d] = p[qa][d] + t * (p[qb][d] - p[qa][d]);
      vertex[e] = {r[0], r[1], r[2], r[3], r[4], r[5]};
    }
    for (int n = 0; triangleTable[index][n] != -1; n += 3)
      for (int v = 0; v < 3; ++v)
        if (out.size() < 3u * blobTriangleCapacity)
          out.push_back(vertex[triangleTable[index][n + v]]);
  }

  const Blobs &blobs;
  float centre[16][3] = {};
  float value[33][33][33] = {};
  std::uint8_t visited[31][31][31] = {};
  std::vector<BlobVertex> out;
};

bool sameVertices(const BlobVertex *a, const BlobVertex *b, std::size_t n) {
  return std::memcmp(a, b, n * sizeof(BlobVertex)) == 0;
}

// Vertices closer than this are one point of the mesh: shared edges are
// interpolated from either end and may differ in the last bit.
int vertexId(std::vector<std::array<float, 3>> &known, const BlobVertex &v) {
  for (std::size_t i = 0; i < known.size(); ++i)
    if (std::fabs(known[i][0] - v.x) < 1e-5f &&
        std::fabs(known[i][1] - v.y) < 1e-5f &&
        std::fabs(known[i][2] - v.z) < 1e-5f)
      return static_cast<int>(i);
  known.push_back({v.x, v.y, v.z});
  return static_cast<int>(known.size() - 1);
}

} // namespace

TEST(MarchingTables, PublishedEntries) {
  EXPECT_EQ(edgeTable.entry[0], 0);
  EXPECT_EQ(edgeTable.entry[255], 0);
  EXPECT_EQ(edgeTable.entry[1], 0x109);
  EXPECT_EQ(edgeTable.entry[2], 0x203);
  EXPECT_EQ(edgeTable.entry[3], 0x30A);
  EXPECT_EQ(edgeTable.entry[4], 0x406);
  EXPECT_EQ(edgeTable.entry[8], 0x80C);

  auto row = [](int m) {
    std::vector<int> out;
    for (int n = 0; triangleTable[m][n] != -1; ++n)
      out.push_back(triangleTable[m][n]);
    return out;
  };
  EXPECT_EQ(row(1), (std::vector<int>{0, 8, 3}));
  EXPECT_EQ(row(2), (std::vector<int>{0, 1, 9}));
  EXPECT_EQ(row(3), (std::vector<int>{1, 8, 3, 9, 8, 1}));
  EXPECT_EQ(row(4), (std::vector<int>{1, 2, 10}));
  EXPECT_EQ(row(7), (std::vector<int>{2, 8, 3, 2, 10, 8, 10, 9, 8}));
  EXPECT_EQ(row(15), (std::vector<int>{9, 8, 10, 10, 8, 11}));
  EXPECT_EQ(row(254), (std::vector<int>{0, 3, 8}));
  EXPECT_EQ(row(253), (std::vector<int>{0, 9, 1}));
  EXPECT_TRUE(row(0).empty());
  EXPECT_TRUE(row(255).empty());

  int triangles = 0;
  for (int m = 0; m < 256; ++m) {
    const std::vector<int> edges = row(m);
    ASSERT_EQ(edges.size() % 3, 0u) << m;
    ASSERT_LE(edges.size(), 15u) << m;
    triangles += static_cast<int>(edges.size() / 3);
    unsigned used = 0;
    for (int e : edges)
      used |= 1u << e;
    EXPECT_EQ(used, edgeTable.entry[m]) << m;
  }
  EXPECT_EQ(triangles, 820);
}

TEST(BlobField, NoBlobsNoSurface) {
  EXPECT_EQ(polygonise(Blobs{}, 1234, 5678).triangles, 0);
  Blobs negative;
  negative.count = -3;
  EXPECT_EQ(polygonise(negative, 0, 0).triangles, 0);
}

TEST(BlobField, LoneSphereIsClosedAndRound) {
  Blobs blobs;
  blobs.add(BLOB_SPHERE, 0, 0, 0);
  for (std::uint32_t drift : {0u, 1000u, 2061u, 4000u}) {
    SCOPED_TRACE(drift);
    const Frame frame = polygonise(blobs, drift, 777);
    ASSERT_GT(frame.triangles, 50);
    const float zshift = static_cast<float>(
        0.2 * std::cos(static_cast<double>(static_cast<float>(drift) *
                                           0.0007621951f)));
    for (int v = 0; v < 3 * frame.triangles; ++v) {
      const BlobVertex &p = frame.vertices[v];
      const float r =
          std::sqrt(p.x * p.x + p.y * p.y + (p.z - zshift) * (p.z - zshift));
      ASSERT_NEAR(r, 0.14f, 0.015f) << v; // a quarter of the grid spacing
      // Normals point outwards.
      ASSERT_GT(p.nx * p.x + p.ny * p.y + p.nz * (p.z - zshift), 0.0f) << v;
    }

    // Closed: every edge belongs to exactly two triangles.
    std::vector<std::array<float, 3>> known;
    std::map<std::pair<int, int>, int> edges;
    for (int t = 0; t < frame.triangles; ++t) {
      int id[3];
      for (int k = 0; k < 3; ++k)
        id[k] = vertexId(known, frame.vertices[3 * t + k]);
      for (int k = 0; k < 3; ++k) {
        const int a = id[k], b = id[(k + 1) % 3];
        if (a != b)
          ++edges[{std::min(a, b), std::max(a, b)}];
      }
    }
    for (const auto &[edge, uses] : edges)
      ASSERT_EQ(uses, 2) << edge.first << "-" << edge.second;

    // The first triangle lies in the cell the march from x = 0.09 stops at:
    // the first cell from x index 17 down with a corner outside.
    auto outside = [&](int i, int j, int k) {
      const float dx = i * 0.0625f - 1.0f, dy = j * 0.0625f - 1.0f,
                  dz = k * 0.0625f - 1.0f - zshift;
      return 0.0196f / (dx * dx + dy * dy + dz * dz) < 1.0f;
    };
    const int b = 16, c = static_cast<int>((zshift + 1.0f) * 16.0f);
    int a = 17;
    for (;; --a) {
      bool any = false;
      for (const auto &corner : cubeCorners)
        any |= outside(a + corner[0], b + corner[1], c + corner[2]);
      if (any)
        break;
    }
    for (int k = 0; k < 3; ++k) {
      const BlobVertex &p = frame.vertices[k];
      EXPECT_GE(p.x, a * 0.0625f - 1.0f);
      EXPECT_LE(p.x, (a + 1) * 0.0625f - 1.0f);
      EXPECT_GE(p.y, b * 0.0625f - 1.0f);
      EXPECT_LE(p.y, (b + 1) * 0.0625f - 1.0f);
      EXPECT_GE(p.z, c * 0.0625f - 1.0f);
      EXPECT_LE(p.z, (c + 1) * 0.0625f - 1.0f);
    }
  }
}

TEST(BlobField, MatchesTheDefinitionExactly) {
  // Spheres, cubes and tori, alone and merging, at several tick readings:
  // the same triangles in the same order as the plain algorithm.
  std::vector<Blobs> cases(5);
  cases[0]
      .add(BLOB_SPHERE, 0.3f, 0.2f, 0.1f)
      .add(BLOB_SPHERE, -0.2f, 0.1f, 0.3f);
  cases[1].add(BLOB_CUBE, 0.4f, 0.0f, 0.2f).add(BLOB_CUBE, 0.1f, 0.3f, 0.0f);
  cases[2].add(BLOB_TORUS, 0.0f, 0.0f, 0.0f).add(BLOB_SPHERE, 0.21f, 0, 0);
  for (int i = 0; i < 16; ++i)
    cases[3].add(i % 3, 0.1f + 0.05f * (i % 7), 0.3f * std::sin(1.0f * i),
                 0.2f * std::cos(2.0f * i));
  cases[4]
      .add(BLOB_SPHERE, 0.9f, 0.0f, 0.0f)
      .add(BLOB_TORUS, -0.7f, 0.5f, 0.1f);
  // A stack of tori capped by cubes: a hollow whose inner surface only a
  // later seed's march reaches. That march must stop at the cells without
  // surface that the first flood passed, as the recursion marks them.
  cases.emplace_back()
      .add(BLOB_TORUS, 0.009f, -0.448f, 0.0f)
      .add(BLOB_TORUS, 0.006f, -0.269f, 0.0f)
      .add(BLOB_TORUS, -0.005f, -0.09f, 0.0f)
      .add(BLOB_TORUS, 0.008f, 0.09f, 0.0f)
      .add(BLOB_TORUS, -0.005f, 0.269f, 0.0f)
      .add(BLOB_TORUS, -0.01f, 0.448f, 0.0f)
      .add(BLOB_CUBE, -0.007f, 0.622f, 0.0f)
      .add(BLOB_CUBE, 0.002f, -0.622f, 0.0f);
  for (std::size_t n = 0; n < cases.size(); ++n) {
    // One field for all readings too: what a frame leaves for the next
    // must not change the next one's surface.
    // And one that sums in vectors of four, as processors without AVX do.
    auto field = std::make_unique<BlobField>();
    auto narrow = std::make_unique<BlobField>();
    narrow->useFourLanes();
    for (BlobField *f : {field.get(), narrow.get()})
      f->setup(cases[n].count, cases[n].positions, cases[n].sizes,
               cases[n].types, cases[n].muls);
    std::vector<BlobVertex> out(blobVertexCapacity);
    for (const auto &[drift, phase] :
         {std::pair<std::uint32_t, std::uint32_t>{0, 0},
          {123456, 654321},
          {123472, 654337},
          {0, 83},
          {4000000000u, 17}}) {
      SCOPED_TRACE(testing::Message()
                   << "case " << n << " ticks " << drift << "," << phase);
      const Frame frame = polygonise(cases[n], drift, phase);
      ReferenceField reference(cases[n]);
      const std::vector<BlobVertex> expected = reference.run(drift, phase);
      ASSERT_EQ(static_cast<std::size_t>(3 * frame.triangles), expected.size());
      EXPECT_TRUE(sameVertices(frame.vertices.data(), expected.data(),
                               expected.size()));
      for (BlobField *f : {field.get(), narrow.get()}) {
        ScriptedTicks ticks{drift, phase};
        ASSERT_EQ(f->polygonise(out.data(), ticks), frame.triangles);
        EXPECT_TRUE(sameVertices(out.data(), expected.data(), expected.size()));
      }
    }
  }
}

TEST(BlobField, SurfaceReachingTheGridsEdgeFrameByFrame) {
  // Balls drifting out through the faces of the grid, one 60 Hz frame at a
  // time: each frame starts from what the last one used, and the cells
  // that newly reach the border planes need values beyond them for their
  // normals.
  Blobs blobs;
  blobs.add(BLOB_SPHERE, 0.97f, 0.0f, 0.0f)
      .add(BLOB_SPHERE, 0.0f, -0.97f, 0.2f)
      .add(BLOB_CUBE, 0.1f, 0.2f, 0.9f);
  auto field = std::make_unique<BlobField>();
  field->setup(blobs.count, blobs.positions, blobs.sizes, blobs.types,
               blobs.muls);
  std::vector<BlobVertex> out(blobVertexCapacity);
  for (std::uint32_t t = 0; t < 1600; t += 16) {
    SCOPED_TRACE(t);
    const std::uint32_t phase = 1600 - t; // the centres move outwards
    ReferenceField reference(blobs);
    const std::vector<BlobVertex> expected = reference.run(t, phase);
    ASSERT_FALSE(expected.empty());
    ScriptedTicks ticks{t, phase};
    ASSERT_EQ(
        static_cast<std::size_t>(3 * field->polygonise(out.data(), ticks)),
        expected.size());
    ASSERT_TRUE(sameVertices(out.data(), expected.data(), expected.size()));
  }
}

TEST(BlobField, RandomShowsMatchTheDefinition) {
  // Random balls of random kinds on random paths, three frames apart, in
  // wide and narrow vectors and with now and then a small destination.
  std::mt19937 random(2026);
  auto uniform = [&](float low, float high) {
    return low + (high - low) * static_cast<float>(random() % 10001) / 10000;
  };
  auto field = std::make_unique<BlobField>();
  auto narrow = std::make_unique<BlobField>();
  narrow->useFourLanes();
  std::vector<BlobVertex> out(blobVertexCapacity);
  for (int n = 0; n < 40; ++n) {
    Blobs blobs;
    const int count = 1 + static_cast<int>(random() % 16);
    const int kind = static_cast<int>(random() % 4); // 3: mixed
    const float reach = uniform(0.1f, 1.3f);
    for (int i = 0; i < count; ++i)
      blobs.add(kind < 3 ? kind : static_cast<int>(random() % 3),
                uniform(-reach, reach), uniform(-reach, reach),
                uniform(-reach, reach));
    for (BlobField *f : {field.get(), narrow.get()})
      f->setup(blobs.count, blobs.positions, blobs.sizes, blobs.types,
               blobs.muls);
    std::uint32_t drift = static_cast<std::uint32_t>(random()),
                  phase = static_cast<std::uint32_t>(random());
    for (int frame = 0; frame < 3; ++frame, drift += 16, phase += 17) {
      SCOPED_TRACE(testing::Message() << "show " << n << " frame " << frame);
      ReferenceField reference(blobs);
      const std::vector<BlobVertex> all = reference.run(drift, phase);
      const int room = random() % 4 == 0 ? 1 + static_cast<int>(random() % 2000)
                                         : blobTriangleCapacity;
      const std::size_t kept = std::min<std::size_t>(all.size(), 3 * room);
      for (BlobField *f : {field.get(), narrow.get()}) {
        ScriptedTicks ticks{drift, phase};
        ASSERT_EQ(static_cast<std::size_t>(
                      3 * f->polygonise(out.data(), ticks, room)),
                  kept);
        ASSERT_TRUE(sameVertices(out.data(), all.data(), kept));
      }
    }
  }
}

TEST(BlobField, SeedsAndTheirLimits) {
  // A lone torus seeds in its ring's hole and finds nothing there, unless a
  // spare slot's seed from the grid centre lands in its tube.
  Blobs torus;
  torus.add(BLOB_TORUS, 0, 0, 0);
  // Drift 0 puts the ring's centre at z = 0.2: the ring passes (0, 0, -0.01),
  // inside the tube around the centre seed.
  EXPECT_GT(polygonise(torus, 0, 0).triangles, 100);
  // At a drift near zero the centre seed is in the hole as well.
  EXPECT_EQ(polygonise(torus, 2061, 0).triangles, 0);

  // Far out on +x: the march starts at cell 30 and the surface is cut at the
  // box the flood covers.
  Blobs edge;
  edge.add(BLOB_SPHERE, 0.9f, 0, 0);
  const Frame cut = polygonise(edge, 0, 0);
  ASSERT_GT(cut.triangles, 0);
  for (int v = 0; v < 3 * cut.triangles; ++v)
    ASSERT_LE(cut.vertices[v].x, 0.9375f);
  Blobs gone;
  gone.add(BLOB_SPHERE, 50.0f, 0, 0);
  EXPECT_EQ(polygonise(gone, 0, 0).triangles, 0);
  // Not even numbers: nothing, and nothing undefined.
  Blobs wild;
  wild.add(BLOB_SPHERE, INFINITY, 0, 0).add(BLOB_SPHERE, 1e30f, -1e30f, 0);
  EXPECT_EQ(polygonise(wild, 0, 1525).triangles, 0);
}

TEST(BlobField, MergingBlobsShareOneSurface) {
  Blobs pair;
  pair.add(BLOB_SPHERE, 0.05f, 0, 0).add(BLOB_SPHERE, -0.05f, 0, 0);
  const Frame frame = polygonise(pair, 0, 0);
  ASSERT_GT(frame.triangles, 0);
  std::set<std::vector<float>> seen;
  for (int t = 0; t < frame.triangles; ++t) {
    std::vector<float> key;
    for (int k = 0; k < 3; ++k) {
      const BlobVertex &v = frame.vertices[3 * t + k];
      key.insert(key.end(), {v.x, v.y, v.z});
    }
    EXPECT_TRUE(seen.insert(key).second) << "triangle " << t << " twice";
  }
}

TEST(BlobField, ValueOfExactlyOneIsInside) {
  // Find a centre that puts one grid point exactly on the iso level.
  const int gi = 18, gj = 16, gk = 19; // (0.125, 0, 0.1875)
  const float zshift = static_cast<float>(0.2 * std::cos(0.0));
  float mx = -0.01447f;
  BlobField probe;
  Blobs blobs;
  blobs.add(BLOB_SPHERE, 0, 0, 0);
  bool found = false;
  for (int step = 0; step < 200000 && !found; ++step) {
    mx = std::nextafter(mx, 1.0f);
    const float position[16][3] = {{mx, 0.0f, zshift}};
    probe.setup(1, position, blobs.sizes, blobs.types, blobs.muls);
    found = probe.fieldValue(gi * 0.0625f - 1.0f, gj * 0.0625f - 1.0f,
                             gk * 0.0625f - 1.0f) == 1.0f;
  }
  ASSERT_TRUE(found);
  blobs.muls[0][0] = mx; // phase 0 puts the centre at (mx, 0, zshift)
  const Frame frame = polygonise(blobs, 0, 0);
  ReferenceField reference(blobs);
  const std::vector<BlobVertex> expected = reference.run(0, 0);
  ASSERT_EQ(static_cast<std::size_t>(3 * frame.triangles), expected.size());
  EXPECT_TRUE(
      sameVertices(frame.vertices.data(), expected.data(), expected.size()));
  // The point is a corner of surface cells: the edges from it to outside
  // corners end right on it (t = 0).
  int onPoint = 0;
  for (int v = 0; v < 3 * frame.triangles; ++v)
    onPoint += frame.vertices[v].x == gi * 0.0625f - 1.0f &&
               frame.vertices[v].y == gj * 0.0625f - 1.0f &&
               frame.vertices[v].z == gk * 0.0625f - 1.0f;
  EXPECT_GT(onPoint, 0);
}

TEST(BlobField, ReproducibleAndCapped) {
  Blobs blobs;
  for (int i = 0; i < 16; ++i)
    blobs.add(BLOB_TORUS, 0.2f + 0.04f * i, 0.3f * std::cos(0.4f * i),
              0.3f * std::sin(0.7f * i));
  const Frame first = polygonise(blobs, 98765, 43210);
  const Frame second = polygonise(blobs, 98765, 43210);
  ASSERT_EQ(first.triangles, second.triangles);
  EXPECT_TRUE(sameVertices(first.vertices.data(), second.vertices.data(),
                           3 * first.triangles));
  // The same field object gives the same frame again.
  auto field = std::make_unique<BlobField>();
  field->setup(blobs.count, blobs.positions, blobs.sizes, blobs.types,
               blobs.muls);
  std::vector<BlobVertex> out(blobVertexCapacity);
  for (int round = 0; round < 2; ++round) {
    ScriptedTicks ticks{98765, 43210};
    ASSERT_EQ(field->polygonise(out.data(), ticks), first.triangles);
    EXPECT_TRUE(
        sameVertices(out.data(), first.vertices.data(), 3 * first.triangles));
  }

  // A small destination: the first triangles, nothing written past it,
  // whether the last cell fits whole or is cut.
  for (int room : {1, 2, 3, 5, 10, 37, first.triangles - 1, first.triangles}) {
    SCOPED_TRACE(room);
    const Frame capped = polygonise(blobs, 98765, 43210, room);
    ASSERT_EQ(capped.triangles, room);
    EXPECT_TRUE(
        sameVertices(capped.vertices.data(), first.vertices.data(), 3 * room));
    EXPECT_EQ(capped.vertices[3 * room].x, -9.0f);
  }
  EXPECT_EQ(polygonise(blobs, 98765, 43210, 0).triangles, 0);
  EXPECT_LE(polygonise(blobs, 98765, 43210, 100000).triangles,
            blobTriangleCapacity);
}

// A field keeps its per-frame state from one frame to the next, marked with
// the frame's number; the numbering starts again after 65535 frames, and
// what earlier frames left must not count then.
TEST(BlobField, LongRunsKeepTheirFrames) {
  Blobs blobs;
  blobs.add(BLOB_SPHERE, 0.3f, 0.1f, 0.2f);
  blobs.add(BLOB_CUBE, -0.2f, 0.3f, -0.1f);
  const Frame expected = polygonise(blobs, 1234, 5678);
  ASSERT_GT(expected.triangles, 0);

  // Frame 1 draws a nearby surface, whose marks must be gone when the
  // numbering comes back to 1.
  auto field = std::make_unique<BlobField>();
  field->setup(blobs.count, blobs.positions, blobs.sizes, blobs.types,
               blobs.muls);
  std::vector<BlobVertex> out(blobVertexCapacity);
  ScriptedTicks nearby{1250, 5690};
  ASSERT_GT(field->polygonise(out.data(), nearby), 0);
  Blobs none;
  field->setup(0, none.positions, none.sizes, none.types, none.muls);
  for (int frame = 1; frame < 65535; ++frame) {
    ScriptedTicks ticks{1234, 5678};
    ASSERT_EQ(field->polygonise(out.data(), ticks), 0);
  }
  field->setup(blobs.count, blobs.positions, blobs.sizes, blobs.types,
               blobs.muls);
  for (int frame = 0; frame < 3; ++frame) { // from the wrap on
    ScriptedTicks ticks{1234, 5678};
    ASSERT_EQ(field->polygonise(out.data(), ticks), expected.triangles);
    EXPECT_TRUE(sameVertices(out.data(), expected.vertices.data(),
                             3 * expected.triangles));
  }
}

TEST(BlobField, CountBeyondSixteenIsCut) {
  Blobs blobs;
  auto field = std::make_unique<BlobField>();
  field->setup(40, blobs.positions, blobs.sizes, blobs.types, blobs.muls);
  EXPECT_EQ(field->blobCount(), 16);
  EXPECT_EQ(field->ball(15).seedradius, 0.14f);
  EXPECT_EQ(field->ball(3).strength2, static_cast<float>(0.14 * 0.14));
}
