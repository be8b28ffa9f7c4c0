#pragma once

// metaballs: the blob layers' polygoniser, which turns up to 16 moving
// balls, cubes and rings into triangles every frame. It knows base/ only.

#include "base/blob_type.h"
#include "base/tick_source.h"

#include <cstdint>
#include <memory>

namespace korvane {

// One output vertex: position and normal.
struct BlobVertex {
  float x, y, z;
  float nx, ny, nz;
};

constexpr int blobTriangleCapacity = 8000;
constexpr int blobVertexCapacity = 3 * blobTriangleCapacity;

struct Metaball {
  float x = 0.0f, y = 0.0f, z = 0.0f; // centre, recomputed every frame
  float seedradius = 0.0f;
  float ringradius = 0.0f;
  float strength2 = 0.0f;
  float strength4 = 0.0f;
  BlobType kind = BLOB_SPHERE;
};

// The balls' centres and constants side by side, as the field sums them.
struct BlobTerms {
  alignas(32) float x[16], y[16], z[16];
  alignas(32) float strength2[16], strength4[16], ring[16];
  BlobType kind[16];
  bool cubes = false, tori = false;
};

// Up to 16 metaballs moving on fixed paths, and the marching cubes that turn
// their summed field into triangles once a frame. Only the cells a seed's
// march reaches and the flood along the surface from there are examined;
// each grid value is worked out at most once a frame, most of them up front
// from the points the frame before used.
class BlobField {
public:
  static constexpr int maxBalls = 16;
  static constexpr int gridSize = 32; // points per axis, spacing 1/16 from -1
  static constexpr int cellSize = gridSize - 1;

  BlobField();
  ~BlobField();
  BlobField(const BlobField &) = delete;
  BlobField &operator=(const BlobField &) = delete;

  // Fixes the kinds and amplitudes of the first `count` balls (at most 16;
  // a larger count is cut; the blob layer reports it). Sizes are accepted
  // and not read.
  void setup(int count, const float (*positions)[3], const float *sizes,
             const std::int32_t *types, const float (*amplitudes)[3]);

  // Moves the balls by two readings of `ticks` and writes the surface's
  // triangles to `destination`, which holds `capacity` triangles (at most
  // 8000); triangles beyond it are dropped. Returns the triangle count.
  int polygonise(BlobVertex *destination, TickSource &ticks,
                 int capacity = blobTriangleCapacity);

  int triangleCount() const { return trianglecount; }
  int blobCount() const { return blobcount; }
  const Metaball &ball(int i) const { return metaballs[i]; }
  // Field evaluations of the last frame, for measuring.
  long evaluations() const { return evaluationcount; }

  // The summed field at a point; 0 outside [-1, 1] on any axis.
  float fieldValue(float x, float y, float z) const;

  // Sums the field in vectors of four even where the processor could take
  // eight, as processors without AVX do; for testing that path.
  void useFourLanes() { widelanes = false; }

private:
  // The grid carries a 33rd plane (coordinate 1.0) per axis, so that
  // normals at the last plane have a neighbour to difference with.
  static constexpr int valueSize = gridSize + 1;
  // A column of 33 points, padded to 36.
  static constexpr int columnStride = 36;
  static constexpr int columnCount = valueSize * valueSize;
  // Cells 1 to 30 per axis take part; 0 and 31 border them as if visited.
  static constexpr int cellRows = 32;

  static int columnIndex(int i, int j) { return i * valueSize + j; }
  static int valueIndex(int i, int j, int k) {
    return columnIndex(i, j) * columnStride + k;
  }

  // Copies the balls into the side-by-side layout the field sums.
  void refreshTerms();

  // Queues the points of column (i, j) that `points` names, a bit per z,
  // and this frame has not worked out yet, and notes them as used for the
  // next frame.
  void require(int i, int j, std::uint64_t points);
  // Queues them without the note.
  void queue(int i, int j, std::uint64_t points);
  // Works out the queued points, each summed over the balls in ball order,
  // exactly as one point after another would be.
  void evaluatePending();
  // Sets the outside bits of a column from its values.
  void sortColumn(int column);
  // The cube index of cell (a, b, c): bit q set when corner q is outside.
  int cubeIndex(int a, int b, int c);
  // The same, for a cell whose corners are worked out already.
  int knownCubeIndex(int a, int b, int c) const;
  bool visited(int a, int b, int c) const {
    return visitedcells[a * cellRows + b] >> c & 1;
  }
  // 1 when cell (a, b, c) holds surface, 0 when not, -1 when its corners
  // are not all worked out.
  int knownSurface(int a, int b, int c) const;
  // Whether a seed's march stops at cell (a, b, c) as visited.
  bool passed(int a, int b, int c) const;
  int marchToSurface(int a, int b, int c);
  void floodCell(int a, int b, int c);
  // Of the six neighbours of cell (a, b, c), in visiting order, those that
  // hold surface and are not yet visited; working out their corners first
  // where they are not known.
  unsigned surfaceNeighbours(int a, int b, int c);
  // Sorts the cells of row (a, b) whose corners are all worked out into
  // those that hold surface and are not entered yet, and the rest.
  void sortCells(int a, int b);
  // Notes the points the flood around the cells found needed, for the next
  // frame, and works out the normals at the cells' corners.
  void notePointsUsed();
  // The triangles of the cells found, in the order they were found, with
  // the normals they need.
  void writeTriangles();

  int trianglecount = 0;
  int plannedtriangles = 0;
  int capacity = 0;
  bool full = false;
  Metaball metaballs[maxBalls];
  BlobTerms terms;
  int blobcount = 0;
  float amplitudex[maxBalls] = {};
  float amplitudey[maxBalls] = {};
  float amplitudez[maxBalls] = {};
  BlobVertex *destination = nullptr;
  long evaluationcount = 0;

  // Per-frame state. The small bit arrays are cleared every frame: per
  // column, the points worked out; per row of cells, the cells visited. A
  // column's outside bits are set from its values whenever points of it are
  // worked out, and only those of points worked out are read.
  std::unique_ptr<float[]> values;
  std::unique_ptr<std::uint64_t[]> evaluated;
  std::unique_ptr<std::uint64_t[]> outside;
  // The points the flood asked for, this frame and the one before.
  std::unique_ptr<std::uint64_t[]> usedpoints;
  // Per row of cells, from the frame's first evaluations: in the low half
  // the cells that hold surface and are not entered yet, in the high half
  // those whose corners were known (and the border).
  std::unique_ptr<std::uint64_t[]> cellstate;
  // The cells found, per row, on a grid with two rows of margin.
  std::unique_ptr<std::uint64_t[]> foundcells;
  std::unique_ptr<std::uint32_t[]> visitedcells;
  // The points queued, as x << 12 | y << 6 | z and as their place in
  // values.
  std::unique_ptr<std::int32_t[]> pendingpoint, pendingindex;
  int pendingcount = 0;
  // The columns they lie in, each once per queueing.
  std::unique_ptr<std::int32_t[]> pendingcolumns;
  int pendingcolumncount = 0;
  // The surface cells in flood order: a, b, c and the cube index, a byte
  // each.
  std::unique_ptr<std::uint32_t[]> surfacecells;
  int surfacecount = 0;
  // Normals, four floats a point, and per column the points that want
  // them.
  std::unique_ptr<float[]> normals;
  std::unique_ptr<std::uint64_t[]> normalpoints;
  // The edge cache carries the frame's number instead of being cleared; 0
  // is never a frame's number. Per grid edge and way, the number over the
  // vertex's slot in edgevertices.
  std::uint16_t frame = 0;
  static constexpr std::uint32_t edgeVertexCapacity = 32768;
  std::unique_ptr<std::uint32_t[]> edgecache;
  std::unique_ptr<float[]> edgevertices; // eight floats a vertex
  struct FloodFrame {
    std::uint8_t a, b, c, unseen;
  };
  std::unique_ptr<FloodFrame[]> floodstack;
  bool widelanes;
};

} // namespace korvane
