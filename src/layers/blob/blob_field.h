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
// each grid value is worked out at most once a frame by the flood.
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

  // Copies the balls into the side-by-side layout the field sums.
  void refreshTerms();
  static int pointIndex(int i, int j, int k) {
    return (i * valueSize + j) * valueSize + k;
  }
  static int cellIndex(int a, int b, int c) {
    return (a * cellSize + b) * cellSize + c;
  }
  // Works out the values of the run of four grid points along z that holds
  // (i, j, k), side by side; each is summed over the balls in ball order,
  // exactly as one point after another would be.
  void evaluateRun(int i, int j, int k);
  // Values are worked out four z-points at a time; a run's stamp says
  // whether this frame has evaluated it.
  static constexpr int runsPerColumn = (valueSize + 3) / 4;
  static int runIndex(int i, int j, int k) {
    return (i * valueSize + j) * runsPerColumn + (k >> 2);
  }
  float value(int i, int j, int k) {
    if (runstamp[runIndex(i, j, k)] != frame)
      evaluateRun(i, j, k);
    return values[pointIndex(i, j, k)];
  }
  const float *normal(int i, int j, int k);
  // The cube index of cell (a, b, c), with its eight corner values.
  int cubeIndex(int a, int b, int c, float *corner);
  bool visited(int a, int b, int c) const {
    return visitedcells[cellIndex(a, b, c)] == frame;
  }
  int marchToSurface(int a, int b, int c);
  void floodCell(int a, int b, int c);
  // Visits one cell of the flood; true when it holds surface, so that its
  // neighbours are to be visited next.
  bool enterCell(int a, int b, int c);
  void triangulateCell(int a, int b, int c, int cube, const float *corner);

  int trianglecount = 0;
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

  // Per-frame state, cleared at the start of every frame: a value of 0
  // marks a grid point not yet evaluated, and flags mark the normals worked
  // out and the cells visited.
  // Per-frame state carries the number of the frame that wrote it instead
  // of being cleared every frame; 0 is never a frame's number.
  std::uint16_t frame = 0;
  std::unique_ptr<float[]> values;
  std::unique_ptr<std::uint16_t[]> runstamp;
  std::unique_ptr<float[][3]> normals;
  std::unique_ptr<std::uint16_t[]> normalready;
  std::unique_ptr<std::uint16_t[]> visitedcells;
  // Cut edges: the frame's number over the vertex's slot in edgevertices.
  static constexpr std::uint32_t edgeVertexCapacity = 32768;
  std::unique_ptr<std::uint32_t[]> edgecache;
  std::unique_ptr<BlobVertex[]> edgevertices;
  std::uint32_t edgevertexcount = 0;
  struct FloodFrame {
    std::uint8_t a, b, c, next;
  };
  std::unique_ptr<FloodFrame[]> floodstack;
};

} // namespace korvane
