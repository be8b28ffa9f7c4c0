// The polygoniser in one file, longer than the others on purpose: its
// phases (evaluating grid points in vector groups, sorting cells by bit
// columns, the flood along the surface, normals and triangles four lanes at
// a time) share the field's layout and its per-frame caches, and each is
// tuned against the others for the frame budget. Split apart, the state
// they share would have to be passed around or made public.

#include "metaballs/blob_field.h"

#include "metaballs/marching_tables.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <immintrin.h>
#endif
#include <utility>

namespace korvane {
namespace {

float gridCoordinate(int i) { return static_cast<float>(i) * 0.0625f - 1.0f; }

constexpr int columnSize = 36; // a column's 33 points, padded for vectors
constexpr int planeSize = 33 * columnSize;
constexpr int valueCount = 33 * planeSize;
// The most points summed in one go: four vectors of eight.
constexpr int group = 32;
// Cells 1 to 30 per axis can hold surface.
constexpr int cellCount = 30 * 30 * 30;
// The found cells' rows, with two rows of margin on each side.
constexpr int foundSize = 36;

// Offsets of a cell's corners from its first corner in the value grid.
constexpr int cornerOffset[8] = {
    0,
    planeSize,
    planeSize + 1,
    1,
    columnSize,
    planeSize + columnSize,
    planeSize + columnSize + 1,
    columnSize + 1,
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

// A cell's corners come from the outside bits of four z-columns, two
// consecutive bits each: (a, b), (a+1, b), (a, b+1) and (a+1, b+1). This
// maps those eight bits, in that order, to the cube index.
struct ColumnBitsToCube {
  std::uint8_t cube[256] = {};
  constexpr ColumnBitsToCube() {
    constexpr int corner[8] = {0, 3, 1, 2, 4, 7, 5, 6};
    for (int x = 0; x < 256; ++x)
      for (int p = 0; p < 8; ++p)
        if (x >> p & 1)
          cube[x] = static_cast<std::uint8_t>(cube[x] | 1 << corner[p]);
  }
};
constexpr ColumnBitsToCube columnBitsToCube;

// The number of triangles per cube index.
struct TriangleCounts {
  std::uint8_t count[256] = {};
  TriangleCounts() {
    for (int m = 0; m < 256; ++m)
      while (triangleTable[m][3 * count[m]] != -1)
        ++count[m];
  }
};

// Counted on first use: the table lives in another file, whose constant
// initialisation is not ordered with this one's.
int trianglesOf(int cube) {
  static const TriangleCounts counts;
  return counts.count[cube];
}

// The rows of cells a frame starts with: only the border, cells 0 and 31
// on any axis, counts as visited.
struct VisitedBorder {
  std::uint32_t row[32 * 32] = {};
  constexpr VisitedBorder() {
    for (int a = 0; a < 32; ++a)
      for (int b = 0; b < 32; ++b)
        row[a * 32 + b] =
            a == 0 || a == 31 || b == 0 || b == 31 ? 0xFFFFFFFFu : 0x80000001u;
  }
};
constexpr VisitedBorder visitedBorder;

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

bool haveWideLanes();

} // namespace

BlobField::BlobField()
    : values(new float[valueCount]()),
      evaluated(new std::uint64_t[columnCount]()),
      outside(new std::uint64_t[columnCount]()),
      usedpoints(new std::uint64_t[columnCount]()),
      cellstate(new std::uint64_t[cellRows * cellRows]()),
      foundcells(new std::uint64_t[foundSize * foundSize]()),
      visitedcells(new std::uint32_t[cellRows * cellRows]()),
      pendingpoint(new std::int32_t[valueCount + group]),
      pendingindex(new std::int32_t[valueCount + group]),
      pendingcolumns(new std::int32_t[valueCount]),
      surfacecells(new std::uint32_t[cellCount]),
      normals(new float[4 * valueCount]()),
      normalpoints(new std::uint64_t[columnCount]()),
      edgecache(new std::uint32_t[6 * valueCount]()),
      edgevertices(new float[8 * edgeVertexCapacity]),
      floodstack(new FloodFrame[cellCount]), widelanes(haveWideLanes()) {
  static_assert(columnStride == columnSize && valueSize == 33);
}

BlobField::~BlobField() = default;

void BlobField::setup(int count, const float (*positions)[3],
                      const float * /*sizes*/, const std::int32_t *types,
                      const float (*amplitudes)[3]) {
  if (count > maxBalls)
    count = maxBalls;
  blobcount = count;
  trianglecount = 0;
  std::fill_n(usedpoints.get(), columnCount, 0);
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
    ball.kind = static_cast<BlobType>(types[i]);
    if (types[i] == BLOB_TORUS) {
      ball.seedradius = 0.11f;
      ball.strength2 = 0.0121f;
      ball.ringradius = 0.21f;
    } else if (types[i] != BLOB_CUBE) {
      ball.kind = BLOB_SPHERE;
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
      if (terms.kind[i] == BLOB_CUBE) {
        const float x2 = dx * dx, y2 = dy * dy, z2 = dz * dz;
        term[i] = terms.strength4[i] / (x2 * x2 + y2 * y2 + z2 * z2);
      } else if (terms.kind[i] == BLOB_TORUS) {
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

// Grid points side by side in one vector, each with its own coordinates.
// Each lane sees the same operations in the same order as a single point
// would, so every lane's value is the one fieldValue gives.
typedef float Lanes __attribute__((vector_size(16)));
typedef std::int32_t LaneInts __attribute__((vector_size(16)));

// Sums the field over the balls for N vectors of grid points. The vectors
// are independent, so their divisions overlap instead of each waiting on
// its own sum.
template <typename V, int N>
__attribute__((always_inline)) inline void
sumBalls(const BlobTerms &terms, int count, const float *px, const float *py,
         const float *pz, float *out) {
  constexpr int width = sizeof(V) / sizeof(float);
  V x[N], y[N], z[N], sum[N];
  std::memcpy(x, px, sizeof x);
  std::memcpy(y, py, sizeof y);
  std::memcpy(z, pz, sizeof z);
  for (int n = 0; n < N; ++n)
    sum[n] = V{};
  for (int b = 0; b < count; ++b) {
    const float bx = terms.x[b], by = terms.y[b], bz = terms.z[b];
    if (terms.kind[b] == BLOB_CUBE) {
      const float strength = terms.strength4[b];
      for (int n = 0; n < N; ++n) {
        const V dx = x[n] - bx, dy = y[n] - by, dz = z[n] - bz;
        const V x2 = dx * dx, y2 = dy * dy, z2 = dz * dz;
        sum[n] += strength / (x2 * x2 + y2 * y2 + z2 * z2);
      }
    } else if (terms.kind[b] == BLOB_TORUS) {
      const float strength = terms.strength2[b], radius = terms.ring[b];
      for (int n = 0; n < N; ++n) {
        const V dx = x[n] - bx, dy = y[n] - by, dz = z[n] - bz;
        const V xz = dx * dx + dz * dz;
        V ring;
        for (int l = 0; l < width; ++l)
          ring[l] = std::sqrt(xz[l]) - radius;
        sum[n] += strength / (dy * dy + ring * ring);
      }
    } else {
      const float strength = terms.strength2[b];
      for (int n = 0; n < N; ++n) {
        const V dx = x[n] - bx, dy = y[n] - by, dz = z[n] - bz;
        sum[n] += strength / (dx * dx + dy * dy + dz * dz);
      }
    }
  }
  std::memcpy(out, sum, sizeof sum);
}

// Any number of points, in up to four vectors of V at a time.
template <typename V>
__attribute__((always_inline)) inline void
sumVectors(const BlobTerms &terms, int count, int points, const float *px,
           const float *py, const float *pz, float *out) {
  constexpr int width = sizeof(V) / sizeof(float);
  for (int first = 0; first < points; first += 4 * width) {
    const float *x = px + first, *y = py + first, *z = pz + first;
    float *sum = out + first;
    switch ((std::min(points - first, 4 * width) + width - 1) / width) {
    case 1:
      sumBalls<V, 1>(terms, count, x, y, z, sum);
      break;
    case 2:
      sumBalls<V, 2>(terms, count, x, y, z, sum);
      break;
    case 3:
      sumBalls<V, 3>(terms, count, x, y, z, sum);
      break;
    default:
      sumBalls<V, 4>(terms, count, x, y, z, sum);
      break;
    }
  }
}

void sumLanes(const BlobTerms &terms, int count, int points, const float *px,
              const float *py, const float *pz, float *out) {
  sumVectors<Lanes>(terms, count, points, px, py, pz, out);
}

#if defined(__x86_64__)
// Where the processor has AVX: vectors of eight.
typedef float Wide __attribute__((vector_size(32)));

__attribute__((target("avx"))) void sumWide(const BlobTerms &terms, int count,
                                            int points, const float *px,
                                            const float *py, const float *pz,
                                            float *out) {
  sumVectors<Wide>(terms, count, points, px, py, pz, out);
}
#endif

bool haveWideLanes() {
#if defined(__x86_64__)
  static const bool avx = __builtin_cpu_supports("avx");
  return avx;
#else
  return false;
#endif
}

// The normals at the points of each column (i, j) in the given ranges that
// `wanted` names, from 1 to 31: central differences pointing from inside to
// outside, normalised, stored four floats a point. They are worked out four
// points of a column at a time, from its lowest point still wanted; points in a
// group that nobody wants are worked out too and left unread.
void normalsOfColumns(const float *value, float *normal,
                      const std::uint64_t *wanted, int ilow, int ihigh,
                      int jlow, int jhigh) {
  for (int i = ilow; i <= ihigh; ++i)
    for (int column = i * 33 + jlow; column <= i * 33 + jhigh; ++column)
      for (std::uint64_t points = wanted[column]; points;) {
        const int start = std::countr_zero(points);
        points &= ~(std::uint64_t{15} << start);
        const int at = column * columnSize + start;
        Lanes d[3], minus, plus;
        for (int axis = 0; axis < 3; ++axis) {
          const int step = axis == 0 ? planeSize : axis == 1 ? columnSize : 1;
          std::memcpy(&minus, &value[at - step], sizeof minus);
          std::memcpy(&plus, &value[at + step], sizeof plus);
          d[axis] = minus - plus;
        }
        const Lanes squared = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        Lanes length;
        for (int l = 0; l < 4; ++l)
          length[l] = std::sqrt(squared[l]);
        const auto positive = length > 0.0f;
        const Lanes x = positive ? d[0] / length : d[0];
        const Lanes y = positive ? d[1] / length : d[1];
        const Lanes z = positive ? d[2] / length : d[2];
        // From one vector per axis to one per point.
        const Lanes xy01 = __builtin_shufflevector(x, y, 0, 4, 1, 5);
        const Lanes xy23 = __builtin_shufflevector(x, y, 2, 6, 3, 7);
        const Lanes z01 = __builtin_shufflevector(z, z, 0, 4, 1, 5);
        const Lanes z23 = __builtin_shufflevector(z, z, 2, 6, 3, 7);
        const Lanes point[4] = {__builtin_shufflevector(xy01, z01, 0, 1, 4, 5),
                                __builtin_shufflevector(xy01, z01, 2, 3, 6, 7),
                                __builtin_shufflevector(xy23, z23, 0, 1, 4, 5),
                                __builtin_shufflevector(xy23, z23, 2, 3, 6, 7)};
        std::memcpy(&normal[4 * at], point, sizeof point);
      }
}

} // namespace

void BlobField::require(int i, int j, std::uint64_t points) {
  usedpoints[columnIndex(i, j)] |= points;
  queue(i, j, points);
}

void BlobField::queue(int i, int j, std::uint64_t points) {
  const int column = columnIndex(i, j);
  std::uint64_t missing = points & ~evaluated[column];
  if (!missing)
    return;
  evaluated[column] |= missing;
  pendingcolumns[pendingcolumncount++] = column;
  // Locals, so that the stores need not reload the count.
  std::int32_t *point = pendingpoint.get(), *at = pendingindex.get();
  const std::int32_t ij = i << 12 | j << 6, base = column * columnStride;
  int n = pendingcount;
  for (; missing; missing &= missing - 1, ++n) {
    const int k = std::countr_zero(missing);
    point[n] = ij | k;
    at[n] = base + k;
  }
  pendingcount = n;
}

void BlobField::evaluatePending() {
  const std::int32_t *point = pendingpoint.get(), *at = pendingindex.get();
  // The lanes past the last point only pad the vectors.
  for (int l = pendingcount; l % group != 0; ++l)
    pendingpoint[l] = 0;
  float *value = values.get();
  for (int first = 0; first < pendingcount; first += group) {
    const int points = std::min(group, pendingcount - first);
    // Worked out a vector at a time, so that the sums load whole vectors
    // from whole-vector stores.
    alignas(32) float px[group], py[group], pz[group], sum[group];
    for (int l = 0; l < group; l += 4) {
      LaneInts p;
      std::memcpy(&p, &point[first + l], sizeof p);
      const Lanes x = __builtin_convertvector(p >> 12, Lanes) * 0.0625f - 1.0f;
      const Lanes y =
          __builtin_convertvector(p >> 6 & 63, Lanes) * 0.0625f - 1.0f;
      const Lanes z = __builtin_convertvector(p & 63, Lanes) * 0.0625f - 1.0f;
      std::memcpy(&px[l], &x, sizeof x);
      std::memcpy(&py[l], &y, sizeof y);
      std::memcpy(&pz[l], &z, sizeof z);
    }
#if defined(__x86_64__)
    if (widelanes)
      sumWide(terms, blobcount, points, px, py, pz, sum);
    else
#endif
      sumLanes(terms, blobcount, points, px, py, pz, sum);
    // A point right on a centre is infinitely inside; a finite value keeps
    // the edge interpolation free of inf/inf.
    for (int l = 0; l < points; l += 4) {
      Lanes v;
      std::memcpy(&v, &sum[l], sizeof v);
      LaneInts bits; // std::bit_cast is missing from the browser's libc++
      std::memcpy(&bits, &v, sizeof bits);
      const LaneInts magnitude = bits & 0x7FFFFFFF;
      v = magnitude == 0x7F800000 ? Lanes{} + FLT_MAX : v;
      std::memcpy(&sum[l], &v, sizeof v);
    }
    for (int l = 0; l < points; ++l)
      value[at[first + l]] = sum[l];
  }
  // The outside bits follow from the values, a column at a time: setting
  // them point by point would have each wait for the one before.
  for (int n = 0; n < pendingcolumncount; ++n)
    sortColumn(pendingcolumns[n]);
  evaluationcount += pendingcount;
  pendingcount = pendingcolumncount = 0;
}

void BlobField::sortColumn(int column) {
  // Points this frame has not worked out get bits too; nobody reads them.
  const float *v = &values[column * columnStride];
  std::uint64_t bits = 0;
#if defined(__SSE2__)
  const __m128 one = _mm_set1_ps(1.0f);
  for (int k = 0; k < columnStride; k += 4)
    bits |= static_cast<std::uint64_t>(
                _mm_movemask_ps(_mm_cmplt_ps(_mm_loadu_ps(v + k), one)))
            << k;
#else
  for (int k = 0; k < valueSize; ++k)
    bits |= std::uint64_t{v[k] < 1.0f} << k;
#endif
  outside[column] = bits;
}

int BlobField::cubeIndex(int a, int b, int c) {
  const std::uint64_t points = std::uint64_t{3} << c;
  require(a, b, points);
  require(a + 1, b, points);
  require(a, b + 1, points);
  require(a + 1, b + 1, points);
  if (pendingcount)
    evaluatePending();
  return knownCubeIndex(a, b, c);
}

int BlobField::knownCubeIndex(int a, int b, int c) const {
  const int column = columnIndex(a, b);
  const unsigned bits =
      static_cast<unsigned>(outside[column] >> c & 3) |
      static_cast<unsigned>(outside[column + valueSize] >> c & 3) << 2 |
      static_cast<unsigned>(outside[column + 1] >> c & 3) << 4 |
      static_cast<unsigned>(outside[column + valueSize + 1] >> c & 3) << 6;
  return columnBitsToCube.cube[bits];
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
    terms.cubes |= terms.kind[i] == BLOB_CUBE;
    terms.tori |= terms.kind[i] == BLOB_TORUS;
  }
}

int BlobField::polygonise(BlobVertex *out, TickSource &ticks, int room) {
  trianglecount = plannedtriangles = 0;
  destination = out;
  capacity = std::clamp(room, 0, blobTriangleCapacity);
  full = capacity == 0 || out == nullptr;
  evaluationcount = 0;
  surfacecount = pendingcount = pendingcolumncount = 0;

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
    std::fill_n(edgecache.get(), 6 * valueCount, 0);
    frame = 1;
  }
  // The surface moves little from one frame to the next: the points the
  // last frame used are worked out first, in full groups whose divisions
  // overlap, instead of a few at a time as the flood comes to them. Then
  // every cell whose corners they cover is sorted at once.
  std::fill_n(evaluated.get(), columnCount, 0);
  for (int i = 0; i < valueSize; ++i)
    for (int j = 0; j < valueSize; ++j) {
      const std::uint64_t used =
          std::exchange(usedpoints[columnIndex(i, j)], 0);
      if (!full)
        queue(i, j, used);
    }
  evaluatePending();
  std::copy_n(visitedBorder.row, cellRows * cellRows, visitedcells.get());
  for (int a = 0; a < cellRows; ++a)
    for (int b = 0; b < cellRows; ++b)
      sortCells(a, b);

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
  if (surfacecount == 0)
    return 0;
  notePointsUsed();
  writeTriangles();
  return trianglecount;
}

void BlobField::sortCells(int a, int b) {
  // Cells on the border are never entered, so they are never open; but
  // they are known only when their corners are, since the normals at the
  // corners of the cells next to them need those values.
  const int column = columnIndex(a, b);
  const std::uint64_t *o = &outside[column], *k = &evaluated[column];
  const std::uint64_t all = k[0] & k[1] & k[valueSize] & k[valueSize + 1];
  const std::uint64_t corners = all & all >> 1 & 0xFFFFFFFFu;
  if (!corners) { // mostly so, away from the surface
    cellstate[a * cellRows + b] = 0;
    return;
  }
  const std::uint64_t any = o[0] | o[1] | o[valueSize] | o[valueSize + 1];
  const std::uint64_t every = o[0] & o[1] & o[valueSize] & o[valueSize + 1];
  const std::uint64_t surface = (any | any >> 1) & ~(every & every >> 1);
  const bool inner = a > 0 && a < cellRows - 1 && b > 0 && b < cellRows - 1;
  const std::uint64_t open =
      inner ? surface & corners & ~std::uint64_t{visitedcells[a * cellRows + b]}
            : 0;
  cellstate[a * cellRows + b] = open | corners << 32;
}

void BlobField::notePointsUsed() {
  std::uint64_t *found = foundcells.get();
  std::fill_n(found, foundSize * foundSize, 0);
  int alow = cellRows, ahigh = 0, blow = cellRows, bhigh = 0;
  for (int n = 0; n < surfacecount; ++n) {
    const std::uint32_t cell = surfacecells[n];
    const int a = cell & 0xFF, b = cell >> 8 & 0xFF, c = cell >> 16 & 0xFF;
    found[(a + 2) * foundSize + b + 2] |= std::uint64_t{1} << c;
    alow = std::min(alow, a);
    ahigh = std::max(ahigh, a);
    blow = std::min(blow, b);
    bhigh = std::max(bhigh, b);
  }
  // What the neighbour test of a found cell (a, b, c) reads: its own four
  // columns from c-1 to c+2, and the two beside each side at c and c+1;
  // columns a-1 to a+2 and b-1 to b+2 around it.
  const int ilow = alow - 1, ihigh = ahigh + 2, jlow = blow - 1,
            jhigh = bhigh + 2;
  for (int i = ilow; i <= ihigh; ++i)
    for (int j = jlow; j <= jhigh; ++j) {
      auto at = [&](int a, int b) {
        return found[(a + 2) * foundSize + b + 2];
      };
      const std::uint64_t own =
          at(i - 1, j - 1) | at(i - 1, j) | at(i, j - 1) | at(i, j);
      const std::uint64_t side =
          at(i + 1, j) | at(i + 1, j - 1) | at(i - 2, j) | at(i - 2, j - 1) |
          at(i, j + 1) | at(i - 1, j + 1) | at(i, j - 2) | at(i - 1, j - 2);
      usedpoints[columnIndex(i, j)] |=
          own >> 1 | own | own << 1 | own << 2 | side | side << 1;
      // The triangles want normals at the cells' corners.
      normalpoints[columnIndex(i, j)] = own | own << 1;
    }
  normalsOfColumns(values.get(), normals.get(), normalpoints.get(), ilow, ihigh,
                   jlow, jhigh);
}

int BlobField::marchToSurface(int a, int b, int c) {
  if (a <= 0)
    return a;
  for (;;) {
    if (passed(a, b, c))
      return a;
    if (cubeIndex(a, b, c) != 0)
      return a;
    if (--a == 0)
      return 0;
  }
}

unsigned BlobField::surfaceNeighbours(int a, int b, int c) {
  // Mostly the frame's first evaluations covered the neighbours: then their
  // surface bits are known already.
  // Each neighbour's open bit, and above them its known bit.
  auto gather = [&] {
    const std::uint64_t *state = &cellstate[a * cellRows + b];
    constexpr std::uint64_t both = 0x100000001u;
    return (state[-cellRows] >> c & both) | (state[cellRows] >> c & both) << 1 |
           (state[-1] >> c & both) << 2 | (state[1] >> c & both) << 3 |
           (state[0] >> (c - 1) & both) << 4 |
           (state[0] >> (c + 1) & both) << 5;
  };
  const std::uint64_t gathered = gather();
  if (gathered >> 32 == 63)
    return static_cast<unsigned>(gathered & 63);
  // Otherwise the neighbours' corners are worked out, in twelve z-columns:
  // the cell's own four, from c-1 to c+2, and two beside each of its sides,
  // at c and c+1; and the rows of the neighbours sorted again.
  const std::uint64_t own = std::uint64_t{15} << (c - 1);
  const std::uint64_t side = std::uint64_t{3} << c;
  require(a, b, own);
  require(a + 1, b, own);
  require(a, b + 1, own);
  require(a + 1, b + 1, own);
  require(a - 1, b, side);
  require(a - 1, b + 1, side);
  require(a + 2, b, side);
  require(a + 2, b + 1, side);
  require(a, b - 1, side);
  require(a + 1, b - 1, side);
  require(a, b + 2, side);
  require(a + 1, b + 2, side);
  if (pendingcount)
    evaluatePending();
  sortCells(a, b);
  sortCells(a - 1, b);
  sortCells(a + 1, b);
  sortCells(a, b - 1);
  sortCells(a, b + 1);
  return static_cast<unsigned>(gather() & 63);
}

int BlobField::knownSurface(int a, int b, int c) const {
  const int column = columnIndex(a, b);
  const std::uint64_t *done = &evaluated[column];
  const std::uint64_t corners = std::uint64_t{3} << c;
  if ((done[0] & done[1] & done[valueSize] & done[valueSize + 1] & corners) !=
      corners)
    return -1;
  return edgeTable.entry[knownCubeIndex(a, b, c)] != 0;
}

bool BlobField::passed(int a, int b, int c) const {
  if (visited(a, b, c))
    return true;
  // The flood looked at every neighbour of the cells it entered; those
  // without surface count as visited, as if marked then.
  if (knownSurface(a, b, c) != 0)
    return false;
  for (const int *step : neighbours) {
    const int na = a + step[0], nb = b + step[1], nc = c + step[2];
    const bool inner =
        na >= 1 && na <= 30 && nb >= 1 && nb <= 30 && nc >= 1 && nc <= 30;
    if (inner && visited(na, nb, nc) && knownSurface(na, nb, nc) == 1)
      return true;
  }
  return false;
}

void BlobField::floodCell(int a, int b, int c) {
  // Depth first on an explicit stack, in the order a recursion visiting the
  // six neighbours in turn would take. Cells outside 1 to 30 on any axis
  // are marked visited from the start.
  if (a < 1 || passed(a, b, c))
    return;
  const int cube = cubeIndex(a, b, c);
  if (edgeTable.entry[cube] == 0) {
    visitedcells[a * cellRows + b] |= 1u << c;
    return;
  }
  // Counts in locals, not members: the stores to the bit rows and the cell
  // list could otherwise alias them and have them reloaded after each.
  std::uint32_t *visitedrow = visitedcells.get();
  std::uint64_t *state = cellstate.get();
  std::uint32_t *found = surfacecells.get();
  int foundcount = surfacecount, planned = plannedtriangles;
  const int room = capacity;
  auto enter = [&](int a, int b, int c, int cube) {
    visitedrow[a * cellRows + b] |= 1u << c;
    state[a * cellRows + b] &= ~(std::uint64_t{1} << c);
    found[foundcount++] =
        static_cast<std::uint32_t>(a | b << 8 | c << 16 | cube << 24);
    // The flood ends with the cell that fills the destination.
    planned += trianglesOf(cube);
    return planned >= room;
  };
  bool filled = enter(a, b, c, cube);
  // The cell worked on is (a, b, c), with the neighbours it has still to
  // visit; the stack holds the cells it was reached through that have
  // neighbours left. A cell is dropped once its last one is taken: the
  // recursion would only return through it.
  FloodFrame *stack = floodstack.get();
  unsigned unseen = surfaceNeighbours(a, b, c);
  int depth = 0;
  while (!filled) {
    if (!unseen) {
      if (depth == 0)
        break;
      const FloodFrame &below = stack[--depth];
      a = below.a;
      b = below.b;
      c = below.c;
      unseen = below.unseen;
    }
    const int *step = neighbours[std::countr_zero(unseen)];
    unseen &= unseen - 1;
    const int na = a + step[0], nb = b + step[1], nc = c + step[2];
    // Visited since its neighbour looked, by another way round.
    if (visitedrow[na * cellRows + nb] >> nc & 1)
      continue;
    // Its corners were worked out when its neighbour looked. Its own bits
    // are not among those its neighbours' are read from, so they are read
    // first and need not wait for them.
    const unsigned next = surfaceNeighbours(na, nb, nc);
    filled = enter(na, nb, nc, knownCubeIndex(na, nb, nc));
    stack[depth] = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                    static_cast<std::uint8_t>(c),
                    static_cast<std::uint8_t>(unseen)};
    depth += unseen != 0;
    a = na;
    b = nb;
    c = nc;
    unseen = next;
  }
  surfacecount = foundcount;
  plannedtriangles = planned;
  full = filled;
}

namespace {

// What the triangulation needs of each cell edge: its corners' offsets in
// the value grid, and their positions from the cell's first corner.
struct CellEdges {
  int from[12] = {}, to[12] = {};
  Lanes fromstep[12] = {}, tostep[12] = {};
  constexpr CellEdges() {
    for (int e = 0; e < 12; ++e) {
      const int q0 = cubeEdges[e][0], q1 = cubeEdges[e][1];
      from[e] = cornerOffset[q0];
      to[e] = cornerOffset[q1];
      for (int d = 0; d < 3; ++d) {
        fromstep[e][d] = 0.0625f * static_cast<float>(cubeCorners[q0][d]);
        tostep[e][d] = 0.0625f * static_cast<float>(cubeCorners[q1][d]);
      }
    }
  }
};

} // namespace

void BlobField::writeTriangles() {
  static const CellEdges cellEdges;
  // Locals, not members: the stores below could otherwise alias them and
  // have each reloaded after every store.
  const float *value = values.get();
  const float *normal = normals.get();
  std::uint32_t *cache = edgecache.get();
  // Pooled vertices take eight floats: the position, then the normal from
  // the fourth on.
  float *pool = edgevertices.get();
  BlobVertex *to = destination;
  const std::uint32_t stamp = std::uint32_t{frame} << 16;
  std::uint32_t pooled = 0;
  int written = 0;
  const int room = capacity;
  float spare[12][8];
  const float *vertex[12];
  for (int n = 0; n < surfacecount && written < room; ++n) {
    const std::uint32_t cell = surfacecells[n];
    const int a = cell & 0xFF, b = cell >> 8 & 0xFF, c = cell >> 16 & 0xFF;
    const int cube = static_cast<int>(cell >> 24);
    const int base = valueIndex(a, b, c);
    const Lanes corner = {gridCoordinate(a), gridCoordinate(b),
                          gridCoordinate(c), 0.0f};
    std::uint32_t *cellcache = cache + base * 6;
    for (unsigned edges = edgeTable.entry[cube]; edges; edges &= edges - 1) {
      const int e = std::countr_zero(edges);
      // Each grid edge is cut once a frame, shared by four cells, two of
      // them running it each way; a way's vertex is worked out once.
      std::uint32_t &cached = cellcache[edgeKey[e]];
      if ((cached & 0xFFFF0000u) == stamp) {
        vertex[e] = &pool[8 * (cached & 0xFFFF)];
        continue;
      }
      const int from = base + cellEdges.from[e],
                towards = base + cellEdges.to[e];
      const float va = value[from], vb = value[towards];
      const float t = (1.0f - va) / (vb - va);
      // Lane by lane, as one coordinate after another.
      const Lanes pa = corner + cellEdges.fromstep[e];
      const Lanes pb = corner + cellEdges.tostep[e];
      Lanes na, nb;
      std::memcpy(&na, &normal[4 * from], sizeof na);
      std::memcpy(&nb, &normal[4 * towards], sizeof nb);
      const Lanes position = pa + t * (pb - pa);
      const Lanes direction = na + t * (nb - na);
      float *made = spare[e];
      if (pooled < edgeVertexCapacity) {
        made = &pool[8 * pooled];
        cached = stamp | pooled++;
      }
      std::memcpy(made, &position, sizeof position);
      std::memcpy(made + 3, &direction, sizeof direction);
      vertex[e] = made;
    }
    const std::int8_t *row = triangleTable[cube];
    const int count = std::min(trianglesOf(cube), room - written);
    BlobVertex *slot = to + 3 * written;
    for (int r = 0; r < 3 * count; r += 3) {
      std::memcpy(&slot[r], vertex[row[r]], sizeof(BlobVertex));
      std::memcpy(&slot[r + 1], vertex[row[r + 1]], sizeof(BlobVertex));
      std::memcpy(&slot[r + 2], vertex[row[r + 2]], sizeof(BlobVertex));
    }
    written += count;
  }
  trianglecount = written;
}

} // namespace korvane
