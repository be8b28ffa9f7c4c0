#pragma once

#include "platform/tick_source.h"

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
  std::uint8_t kind = 0; // 0 sphere, 1 cube, 2 torus
};

// The balls' centres and constants side by side, as the field sums them.
struct BlobTerms {
  alignas(32) float x[16], y[16], z[16];
  alignas(32) float strength2[16], strength4[16], ring[16];
  std::uint8_t kind[16];
  bool cubes = false, tori = false;
};

// Up to 16 metaballs moving on fixed paths, and the marching cubes that turn
// their summed field into triangles once a frame. Only the cells a seed's
// march reaches and the flood along the surface from there are examined;
// each grid value is worked out at most once a frame, most of them up front
// from the runs of points the frame before used.
class BlobField {
public:
  static constexpr int maxBalls = 16;
  static constexpr int gridSize = 32; // points per axis, spacing 1/16 from -1
  static constexpr int cellSize = gridSize - 1;

  BlobField();
  virtual ~BlobField();
  BlobField(const BlobField &) = delete;
  BlobField &operator=(const BlobField &) = delete;

  // Fixes the kinds and amplitudes of the first `count` balls (at most 16;
  // a larger count is cut and logged). Sizes are accepted and not read.
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

private:
  // The grid carries a 33rd plane (coordinate 1.0) per axis, so that
  // normals at the last plane have a neighbour to difference with.
  static constexpr int valueSize = gridSize + 1;
  // Values are worked out four z-points at a time; a column of 33 points
  // holds nine such runs, the last padded to four.
  static constexpr int runsPerColumn = (valueSize + 3) / 4;
  static constexpr int columnStride = 4 * runsPerColumn;
  static constexpr int columnCount = valueSize * valueSize;
  // Cells 1 to 30 per axis take part; 0 and 31 border them as if visited.
  static constexpr int cellRows = 32;

  static int columnIndex(int i, int j) { return i * valueSize + j; }
  static int valueIndex(int i, int j, int k) {
    return columnIndex(i, j) * columnStride + k;
  }

  // Copies the balls into the side-by-side layout the field sums.
  void refreshTerms();

  // A run of four z-points still to be worked out.
  struct Run {
    std::uint8_t i, j, run;
  };
  // Queues the runs of a column that `runs` names and this frame has not
  // worked out yet, and notes them as used for the next frame.
  void require(int i, int j, unsigned runs);
  // Queues them without the note.
  void queue(int i, int j, unsigned runs);
  // Works out the queued runs, each point summed over the balls in ball
  // order, exactly as one point after another would be.
  void evaluatePending();
  // The cube index of cell (a, b, c): bit q set when corner q is outside.
  int cubeIndex(int a, int b, int c);
  // The same, for a cell whose corners are worked out already.
  int knownCubeIndex(int a, int b, int c) const;
  bool visited(int a, int b, int c) const {
    return visitedcells[a * cellRows + b] >> c & 1;
  }
  int marchToSurface(int a, int b, int c);
  void floodCell(int a, int b, int c);
  // Takes the surface cell (a, b, c) into the output order.
  void enterCell(int a, int b, int c, int cube);
  // Of the six neighbours of cell (a, b, c), in visiting order, those that
  // hold surface and are not yet visited; those without surface are
  // marked visited.
  unsigned surfaceNeighbours(int a, int b, int c);
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
  // column, the runs worked out and the points outside the surface; per row
  // of cells, the cells visited.
  std::unique_ptr<float[]> values;
  std::unique_ptr<std::uint16_t[]> evaluated;
  // The runs the flood asked for, this frame and the one before.
  std::unique_ptr<std::uint16_t[]> usedruns;
  std::unique_ptr<std::uint64_t[]> outside;
  std::unique_ptr<std::uint32_t[]> visitedcells;
  std::unique_ptr<Run[]> pending;
  int pendingcount = 0;
  // The surface cells in flood order: a, b, c and the cube index, a byte
  // each.
  std::unique_ptr<std::uint32_t[]> surfacecells;
  int surfacecount = 0;
  // The large arrays carry the frame's number instead of being cleared; 0
  // is never a frame's number. Normals per point, with the frame that
  // worked them out; per grid edge and way, the number over the vertex's
  // slot in edgevertices.
  std::uint16_t frame = 0;
  std::unique_ptr<float[]> normalx, normaly, normalz;
  std::unique_ptr<std::uint16_t[]> normalframe;
  static constexpr std::uint32_t edgeVertexCapacity = 32768;
  std::unique_ptr<std::uint32_t[]> edgecache;
  std::unique_ptr<BlobVertex[]> edgevertices;
  struct FloodFrame {
    std::uint8_t a, b, c, unseen;
  };
  std::unique_ptr<FloodFrame[]> floodstack;
};

} // namespace korvane
