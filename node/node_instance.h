// The record of one edge node instance.
//
// The node keeps the shader's settings record whole (its settings, cache and
// context), so that the panel, the scene blocks and the core serve it
// unchanged; around it, the node's ports and the matrix readings it has
// decided. The host owns an instance between its create and destroy
// callbacks; the ports belong to the host's node and are destroyed with it.
#pragma once

#include <atomic>
#include <cstddef>

#include "hostapi/lwnodes.h"
#include "node/sample_memo.h"
#include "runtime/checked_memory.h"
#include "shader/edge_shader_instance.h"

namespace korv {

// How the sample record's toLocal and toWorld are written: row vectors
// (translation in m[3][0..2]) or column vectors (translation in m[0..2][3]).
enum class MatrixReading : int { Undecided = 0, Rows = 1, Columns = 2 };

// Before any sample of an object has told the readings apart.
inline constexpr MatrixReading kDefaultMatrixReading = MatrixReading::Rows;

// The readings decided per object since the last render start, new time or
// cleanup. Render threads decide in parallel: a slot's object is claimed by
// one compare-and-swap and its reading stored after; a thread that finds the
// reading not yet stored decides from its own sample, which gives the same
// answer. Objects beyond the table's size are decided sample by sample.
inline constexpr std::size_t kMatrixSlots = 64;
struct MatrixReadings {
  std::atomic<LWItemID> object[kMatrixSlots];
  std::atomic<int> reading[kMatrixSlots];
};

struct EdgeNodeInstance {
  EdgeShaderInstance core;  // settings, cache and the host's context (the NodeID)
  NodeInputID normal_in;
  NodeOutputID normal_out;
  NodeOutputID edge_out;
  NodeOutputID distance_out;
  MatrixReadings readings;
  SampleMemos memos;  // per render thread; each written by its own thread only

  static void *operator new(std::size_t size) noexcept { return NoThrowNew::operator new(size); }
  static void operator delete(void *block) noexcept { NoThrowNew::operator delete(block); }
};

// What the Distance output gives where no edge is found (or the node passes
// the sample through): far beyond any band or fall-off an artist sets, and
// finite, so that a gradient or a division downstream stays a number.
inline constexpr double kNoEdgeDistance = 1.0e10;

// Forgets every decided reading; only while no sample of the instance runs.
void forget_matrix_readings(MatrixReadings &readings);

// The reading of an object: the one decided for it, else the one this
// sample decides (kept), else the default.
MatrixReading matrix_reading(MatrixReadings &readings, const LWShadingGeometry &sample);

// The reading a sample's oP and P decide, or Undecided where both readings
// of toLocal take P equally near to oP.
MatrixReading decide_matrix_reading(const LWShadingGeometry &sample);

// The linear part of toLocal as the core takes it: the world-to-object
// matrix for column vectors, in row order.
void world_to_object(const LWDMatrix4 &to_local, MatrixReading reading, double out[9]);

}  // namespace korv
