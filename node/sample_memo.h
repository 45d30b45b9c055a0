// The outputs of one sample, kept by the render thread that computed them.
//
// A host asks each output of a sample by a call of its own, one after the
// other on one thread. The first call searches and keeps what it found in
// the thread's own entry; the next calls for the same sample find it there.
// A thread writes only the entry of its own place (render_thread_place), so
// no two threads ever write one entry; a thread without a place keeps
// nothing and searches every time.
#pragma once

#include <bit>
#include <cstdint>

#include "hostapi/lwtypes.h"
#include "runtime/render_lock.h"

namespace korv {

// Everything a sample's outputs depend on, and the render lock's count of
// exclusive holds when they were computed: settings, databases and caches
// change only under the exclusive lock.
struct SampleKey {
  std::uint64_t writes;
  LWItemID object;
  LWPolID polygon;
  double position[3];
  double normal[3];
  double normal0[3];
  double view[3];
  double world_to_object[9];
};

struct SampleOutputs {
  double normal[3];
  double edge;
  double distance;
};

struct SampleMemo {
  bool kept;
  SampleKey key;
  SampleOutputs outputs;
  // The instance is allocated at the C library's alignment only: the gap
  // keeps two threads' entries off each other's cache lines whatever the
  // entry's address.
  char gap[128];
};

using SampleMemos = SampleMemo[kRenderReaderSlots];

// The same n doubles, bit for bit (a NaN matches itself).
inline bool same_bits(const double *a, const double *b, int n) {
  for (int i = 0; i < n; ++i) {
    if (std::bit_cast<std::uint64_t>(a[i]) != std::bit_cast<std::uint64_t>(b[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace korv
