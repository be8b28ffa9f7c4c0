#include "layers/blob/blob_field.h"

#include "layers/blob/marching_tables.h"
#include "player/debuglog.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace korvane {
namespace {

constexpr int cellCount =
    BlobField::cellSize * BlobField::cellSize * BlobField::cellSize;
// The grid and its 33rd plane per axis.
constexpr int pointCount = (BlobField::gridSize + 1) *
                           (BlobField::gridSize + 1) *
                           (BlobField::gridSize + 1);

float gridCoordinate(int i) { return static_cast<float>(i) * 0.0625f - 1.0f; }

// Offsets of a cell's corners from its first corner in the value grid.
constexpr int cornerOffset[8] = {
    0, 33 * 33, 33 * 33 + 1, 1, 33, 33 * 33 + 33, 33 * 33 + 33 + 1, 33 + 1,
};

// A cell edge as a grid edge: its lower point's offset from the cell's
// first corner, times six, plus two per axis, plus one when the edge runs
// from its higher point to its lower one.
constexpr int edgeKeyOf(int e) {
  const int q0 = cubeEdges[e][0], q1 = cubeEdges[e][1];
  int axis = 0;
  while (cubeCorners[q0][axis] == cubeCorners[q1][axis])
    ++axis;
  const bool down = cubeCorners[q0][axis] > cubeCorners[q1][axis];
  return cornerOffset[down ? q1 : q0] * 6 + axis * 2 + (down ? 1 : 0);
}
constexpr int edgeKey[12] = {edgeKeyOf(0), edgeKeyOf(1),  edgeKeyOf(2),
                             edgeKeyOf(3), edgeKeyOf(4),  edgeKeyOf(5),
                             edgeKeyOf(6), edgeKeyOf(7),  edgeKeyOf(8),
                             edgeKeyOf(9), edgeKeyOf(10), edgeKeyOf(11)};

// The six flood neighbours in visiting order.
constexpr int neighbours[6][3] = {{-1, 0, 0}, {1, 0, 0},  {0, -1, 0},
                                  {0, 1, 0},  {0, 0, -1}, {0, 0, 1}};

// A seed coordinate as a cell index, or -1 when it is no number at all.
// Values far outside the grid are held at +-1000 so that the cast stays
// defined; they are out of range either way.
int seedIndex(float v) {
  if (std::isnan(v))
    return -1;
  return static_cast<int>(std::clamp(v, -1000.0f, 1000.0f));
}

} // namespace

constexpr int runCount = (BlobField::gridSize + 1) * (BlobField::gridSize + 1) *
                         ((BlobField::gridSize + 1 + 3) / 4);

BlobField::BlobField()
    : values(new float[pointCount]()), runstamp(new std::uint16_t[runCount]()),
      normals(new float[pointCount][3]()),
      normalready(new std::uint16_t[pointCount]()),
      visitedcells(new std::uint16_t[cellCount]()),
      edgecache(new std::uint32_t[6 * pointCount]()),
      edgevertices(new BlobVertex[edgeVertexCapacity]),
      floodstack(new FloodFrame[cellCount]) {}

BlobField::~BlobField() = default;

void BlobField::setup(int count, const float (*positions)[3],
                      const float * /*sizes*/, const std::int32_t *types,
                      const float (*amplitudes)[3]) {
  if (count > maxBalls) {
    writeLog("Blob count %d cut to %d", count, maxBalls);
    count = maxBalls;
  }
  blobcount = count;
  trianglecount = 0;
  for (int i = 0; i < maxBalls; ++i) {
    metaballs[i] = Metaball{};
    amplitudex[i] = amplitudey[i] = amplitudez[i] = 0.0f;
  }
  for (int i = 0; i < count; ++i) {
    Metaball &ball = metaballs[i];
    ball.seedradius = 0.14f;
    ball.strength2 = static_cast<float>(0.14 * 0.14);
    ball.strength4 = ball.strength2 * ball.strength2;
    ball.x = positions[i][0];
    ball.y = positions[i][1];
    ball.z = positions[i][2];
    amplitudex[i] = amplitudes[i][0];
    amplitudey[i] = amplitudes[i][1];
    amplitudez[i] = amplitudes[i][2];
    ball.kind = static_cast<std::uint8_t>(types[i]);
    if (types[i] == 2) {
      ball.seedradius = 0.11f;
      ball.strength2 = 0.0121f;
      ball.ringradius = 0.21f;
    } else if (types[i] != 1) {
      ball.kind = 0;
    }
  }
  refreshTerms();
}

float BlobField::fieldValue(float x, float y, float z) const {
  if (x < -1.0f || x > 1.0f || y < -1.0f || y > 1.0f || z < -1.0f || z > 1.0f)
    return 0.0f;
  // Each term in its own lane, all kinds alike (unused ones are dropped);
  // then the sum in ball order, exactly as one ball after another.
  alignas(32) float term[maxBalls];
  for (int i = 0; i < maxBalls; ++i) {
    const float dx = x - terms.x[i], dy = y - terms.y[i], dz = z - terms.z[i];
    term[i] = terms.strength2[i] / (dx * dx + dy * dy + dz * dz);
  }
  if (terms.cubes || terms.tori) {
    for (int i = 0; i < blobcount; ++i) {
      const float dx = x - terms.x[i], dy = y - terms.y[i], dz = z - terms.z[i];
      if (terms.kind[i] == 1) {
        const float x2 = dx * dx, y2 = dy * dy, z2 = dz * dz;
        term[i] = terms.strength4[i] / (x2 * x2 + y2 * y2 + z2 * z2);
      } else if (terms.kind[i] == 2) {
        const float ring = std::sqrt(dx * dx + dz * dz) - terms.ring[i];
        term[i] = terms.strength2[i] / (dy * dy + ring * ring);
      }
    }
  }
  float sum = 0.0f;
  for (int i = 0; i < blobcount; ++i)
    sum += term[i];
  // A point right on a centre is infinitely inside; a finite value keeps the
  // edge interpolation free of inf/inf.
  return std::isinf(sum) ? FLT_MAX : sum;
}

namespace {

// The field at `lanes` grid points that differ in z only, side by side in
// one vector. Each lane sees the same operations in the same order as a
// single point would, so every lane's value is the one fieldValue gives.
constexpr int lanes = 4;
typedef float Lanes __attribute__((vector_size(4 * lanes)));

void sumRun(const BlobTerms &terms, int count, float px, float py,
            const float *pzs, float *out) {
  Lanes pz;
  for (int l = 0; l < lanes; ++l)
    pz[l] = pzs[l];
  Lanes sum = {};
  for (int b = 0; b < count; ++b) {
    const float dx = px - terms.x[b], dy = py - terms.y[b];
    const Lanes dz = pz - terms.z[b];
    if (terms.kind[b] == 1) {
      const float x2 = dx * dx, y2 = dy * dy;
      const Lanes z2 = dz * dz;
      sum += terms.strength4[b] / ((x2 * x2 + y2 * y2) + z2 * z2);
    } else if (terms.kind[b] == 2) {
      Lanes ring = {};
      for (int l = 0; l < lanes; ++l)
        ring[l] = std::sqrt(dx * dx + dz[l] * dz[l]) - terms.ring[b];
      sum += terms.strength2[b] / (dy * dy + ring * ring);
    } else {
      sum += terms.strength2[b] / ((dx * dx + dy * dy) + dz * dz);
    }
  }
  for (int l = 0; l < lanes; ++l)
    out[l] = sum[l];
}

} // namespace

void BlobField::evaluateRun(int i, int j, int k) {
  const int first = k & ~(lanes - 1);
  const int n = std::min(lanes, valueSize - first);
  alignas(16) float pz[lanes], sum[lanes];
  for (int l = 0; l < lanes; ++l)
    pz[l] = gridCoordinate(first + l);
  // Grid points all lie inside [-1, 1]: no bounds to check.
  sumRun(terms, blobcount, gridCoordinate(i), gridCoordinate(j), pz, sum);
  runstamp[runIndex(i, j, k)] = frame;
  float *run = &values[pointIndex(i, j, first)];
  for (int l = 0; l < n; ++l) {
    // A point right on a centre is infinitely inside; a finite value keeps
    // the edge interpolation free of inf/inf.
    run[l] = std::isinf(sum[l]) ? FLT_MAX : sum[l];
  }
  evaluationcount += n;
}

const float *BlobField::normal(int i, int j, int k) {
  const int point = pointIndex(i, j, k);
  if (normalready[point] != frame) {
    // Central differences, pointing from inside to outside.
    float n[3] = {value(i - 1, j, k) - value(i + 1, j, k),
                  value(i, j - 1, k) - value(i, j + 1, k),
                  value(i, j, k - 1) - value(i, j, k + 1)};
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length > 0.0f)
      for (float &component : n)
        component /= length;
    std::memcpy(normals[point], n, sizeof n);
    normalready[point] = frame;
  }
  return normals[point];
}

void BlobField::refreshTerms() {
  for (int i = 0; i < maxBalls; ++i) {
    const Metaball &ball = metaballs[i];
    terms.x[i] = ball.x;
    terms.y[i] = ball.y;
    terms.z[i] = ball.z;
    terms.strength2[i] = ball.strength2;
    terms.strength4[i] = ball.strength4;
    terms.ring[i] = ball.ringradius;
    terms.kind[i] = ball.kind;
  }
  terms.cubes = terms.tori = false;
  for (int i = 0; i < blobcount; ++i) {
    terms.cubes |= terms.kind[i] == 1;
    terms.tori |= terms.kind[i] == 2;
  }
}

int BlobField::polygonise(BlobVertex *out, TickSource &ticks, int room) {
  trianglecount = 0;
  destination = out;
  capacity = std::clamp(room, 0, blobTriangleCapacity);
  full = capacity == 0 || out == nullptr;
  evaluationcount = 0;
  edgevertexcount = 0;

  const std::uint32_t t1 = ticks.tickCount();
  const float zshift = static_cast<float>(
      0.2 *
      std::cos(static_cast<double>(static_cast<float>(t1) * 0.0007621951f)));
  const std::uint32_t t2 = ticks.tickCount();
  const float phi = static_cast<float>(t2) * 0.0010309279f;
  const float cosphi = std::cos(phi), sinphi = std::sin(phi);
  for (int i = 0; i < blobcount; ++i) {
    metaballs[i].x = amplitudex[i] * cosphi;
    metaballs[i].y = amplitudey[i] * cosphi;
    metaballs[i].z = amplitudez[i] * sinphi + zshift;
  }
  refreshTerms();

  if (++frame == 0) {
    // Once in 65535 frames the stamps start again.
    std::fill_n(runstamp.get(), runCount, 0);
    std::fill_n(normalready.get(), pointCount, 0);
    std::fill_n(visitedcells.get(), cellCount, 0);
    std::fill_n(edgecache.get(), 6 * pointCount, 0);
    frame = 1;
  }

  for (int s = 0; s < maxBalls && !full; ++s) {
    const Metaball &ball = metaballs[s];
    const int ax = std::min(
        seedIndex((ball.seedradius + ball.x + 1.0f - 0.05f) * 16.0f), 30);
    const int ay = seedIndex((ball.y + 1.0f) * 16.0f);
    const int az = seedIndex((ball.z + 1.0f) * 16.0f);
    if (ay < 1 || ay > 30 || az < 1 || az > 30)
      continue;
    floodCell(marchToSurface(ax, ay, az), ay, az);
  }
  return trianglecount;
}

int BlobField::marchToSurface(int a, int b, int c) {
  if (a <= 0)
    return a;
  for (;;) {
    if (visited(a, b, c))
      return a;
    // The corners' values are the frame's own whether or not the flood
    // worked them out before, so the march reuses them.
    float corner[8];
    if (cubeIndex(a, b, c, corner) != 0)
      return a;
    if (--a == 0)
      return 0;
  }
}

bool BlobField::enterCell(int a, int b, int c) {
  if (a < 1 || a > 30 || b < 1 || b > 30 || c < 1 || c > 30)
    return false;
  std::uint16_t &seen = visitedcells[cellIndex(a, b, c)];
  if (seen == frame)
    return false;
  seen = frame;
  float corner[8];
  const int cube = cubeIndex(a, b, c, corner);
  if (edgeTable.entry[cube] == 0)
    return false;
  triangulateCell(a, b, c, cube, corner);
  return true;
}

void BlobField::floodCell(int a, int b, int c) {
  // Depth first on an explicit stack, in the order a recursion visiting the
  // six neighbours in turn would take.
  if (!enterCell(a, b, c))
    return;
  int depth = 0;
  floodstack[depth++] = {static_cast<std::uint8_t>(a),
                         static_cast<std::uint8_t>(b),
                         static_cast<std::uint8_t>(c), 0};
  while (depth > 0 && !full) {
    FloodFrame &top = floodstack[depth - 1];
    if (top.next == 6) {
      --depth;
      continue;
    }
    const int *step = neighbours[top.next++];
    const int na = top.a + step[0], nb = top.b + step[1], nc = top.c + step[2];
    if (enterCell(na, nb, nc))
      floodstack[depth++] = {static_cast<std::uint8_t>(na),
                             static_cast<std::uint8_t>(nb),
                             static_cast<std::uint8_t>(nc), 0};
  }
}

int BlobField::cubeIndex(int a, int b, int c, float *corner) {
  // The corners lie in four z-columns, each within one run or, where c is
  // a run's last point, two.
  constexpr int columnStep[4] = {0, runsPerColumn, valueSize * runsPerColumn,
                                 (valueSize + 1) * runsPerColumn};
  constexpr int columnOffset[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
  const int run = runIndex(a, b, c);
  const bool straddles = (c & 3) == 3;
  for (int q = 0; q < 4; ++q) {
    const int i = a + columnOffset[q][0], j = b + columnOffset[q][1];
    if (runstamp[run + columnStep[q]] != frame)
      evaluateRun(i, j, c);
    if (straddles && runstamp[run + columnStep[q] + 1] != frame)
      evaluateRun(i, j, c + 1);
  }
  const int base = pointIndex(a, b, c);
  int cube = 0;
  for (int q = 0; q < 8; ++q) {
    corner[q] = values[base + cornerOffset[q]];
    cube |= static_cast<int>(corner[q] < 1.0f) << q;
  }
  return cube;
}

void BlobField::triangulateCell(int a, int b, int c, int cube,
                                const float *corner) {
  // Only corners on a cut edge reach the output: their normals are all
  // that is worked out here, once per corner.
  const float *normalAt[8] = {};
  auto cornerNormal = [&](int q) {
    if (!normalAt[q])
      normalAt[q] = normal(a + cubeCorners[q][0], b + cubeCorners[q][1],
                           c + cubeCorners[q][2]);
    return normalAt[q];
  };
  BlobVertex vertex[12];
  const int edgeBase = pointIndex(a, b, c) * 6;
  for (unsigned edges = edgeTable.entry[cube]; edges; edges &= edges - 1) {
    const int e = std::countr_zero(edges);
    // Each grid edge is cut once a frame, shared by four cells, two of them
    // running it each way; a way's vertex is worked out once.
    std::uint32_t &cached = edgecache[edgeBase + edgeKey[e]];
    if (cached >> 16 == frame) {
      vertex[e] = edgevertices[cached & 0xFFFF];
      continue;
    }
    const int q0 = cubeEdges[e][0], q1 = cubeEdges[e][1];
    const int *from = cubeCorners[q0], *to = cubeCorners[q1];
    const float va = corner[q0], vb = corner[q1];
    const float *na = cornerNormal(q0), *nb = cornerNormal(q1);
    const float pa[3] = {gridCoordinate(a + from[0]),
                         gridCoordinate(b + from[1]),
                         gridCoordinate(c + from[2])};
    const float pb[3] = {gridCoordinate(a + to[0]), gridCoordinate(b + to[1]),
                         gridCoordinate(c + to[2])};
    const float t = (1.0f - va) / (vb - va);
    vertex[e] = {pa[0] + t * (pb[0] - pa[0]), pa[1] + t * (pb[1] - pa[1]),
                 pa[2] + t * (pb[2] - pa[2]), na[0] + t * (nb[0] - na[0]),
                 na[1] + t * (nb[1] - na[1]), na[2] + t * (nb[2] - na[2])};
    if (edgevertexcount < edgeVertexCapacity) {
      edgevertices[edgevertexcount] = vertex[e];
      cached = std::uint32_t(frame) << 16 | edgevertexcount++;
    }
  }
  const std::int8_t *row = triangleTable[cube];
  for (int n = 0; row[n] != -1; n += 3) {
    if (trianglecount >= capacity) {
      full = true;
      return;
    }
    BlobVertex *slot = destination + 3 * trianglecount;
    slot[0] = vertex[row[n]];
    slot[1] = vertex[row[n + 1]];
    slot[2] = vertex[row[n + 2]];
    ++trianglecount;
  }
}

} // namespace korvane
