// The record of one edge node instance.
//
// The node keeps the instance record both fronts share whole (its settings,
// cache and context), so that the panel, the scene blocks and the core serve it
// unchanged; around it, the node's ports and the matrix readings it has
// decided. The host owns an instance between its create and destroy
// callbacks; the ports belong to the host's node and are destroyed with it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "hostapi/lwnodes.h"
#include "instance/edge_instance.h"
#include "node/sample_memo.h"
#include "runtime/checked_memory.h"

namespace korv {

// How the sample record's toLocal and toWorld are written: row vectors
// (translation in m[3][0..2]) or column vectors (translation in m[0..2][3]).
enum class MatrixReading : int { Undecided = 0, Rows = 1, Columns = 2 };

// Before any sample has told the readings apart.
inline constexpr MatrixReading kDefaultMatrixReading = MatrixReading::Rows;

// The reading decided for the instance. How the matrices are written belongs
// to the host, not to an object or a render, so the first sample that tells
// decides for the instance's life; render threads decide in parallel and
// the first compare-and-swap wins. A later sample that tells the other
// reading does not change it: it is counted, for a host (or a test) to see.
struct MatrixReadings {
  std::atomic<int> decided;
  std::atomic<std::uint64_t> contradicting;
};

struct EdgeNodeInstance {
  EdgeInstance core;  // settings, cache and the host's context (the NodeID)
  NodeInputID normal_in;
  NodeOutputID normal_out;
  NodeOutputID edge_out;
  NodeOutputID distance_out;
  MatrixReadings readings;  // for the instance's life: the host does not change
  SampleMemos memos;        // per render thread; each written by its own thread only

  static void *operator new(std::size_t size) noexcept { return NoThrowNew::operator new(size); }
  static void operator delete(void *block) noexcept { NoThrowNew::operator delete(block); }
};

// What the Distance output gives where no edge is found (or the node passes
// the sample through): far beyond any band or fall-off an artist sets, and
// finite, so that a gradient or a division downstream stays a number.
inline constexpr double kNoEdgeDistance = 1.0e10;

// Nothing decided, nothing counted; only while no sample of the instance
// runs.
void forget_matrix_readings(MatrixReadings &readings);

// The reading for a sample: the one decided, else the one this sample tells
// (kept as the decision), else the default. contradicts: the sample tells
// the other reading than the one decided (the caller counts it once per
// sample).
MatrixReading matrix_reading(MatrixReadings &readings, const LWShadingGeometry &sample,
                             bool &contradicts);

// The reading a sample tells, or Undecided. First toLocal itself: an affine
// matrix keeps exact zeros where the other writing keeps its translation.
// Without a translation, P and oP: the reading that takes P far closer to oP
// than the other, beyond what single-precision positions explain (oP may
// also sit off a pivot, or be the position before a deformation).
MatrixReading told_matrix_reading(const LWShadingGeometry &sample);

// The linear part of toLocal as the core takes it: the world-to-object
// matrix for column vectors, in row order.
void world_to_object(const LWDMatrix4 &to_local, MatrixReading reading, double out[9]);

}  // namespace korv
