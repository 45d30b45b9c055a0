// The edges of an object's shells, indexed in space, so that a shading
// sample can find the nearest edge of its own shell across polygons (the
// cross_polygons setting): on models with support loops, or dense meshes, the
// polygon under a sample often touches no edge although one lies within the
// band.
//
// A shell is a set of polygons joined to each other through shared points.
// Each shell's edges have a bounding volume hierarchy of their own (in one
// EdgeForest), so that the search never meets an edge of another shell, and
// its cost grows with the depth of the hierarchy (the logarithm of the
// shell's edge count), not with the count. A database owns its index; the
// index is read-only once built, and a search allocates nothing and writes
// only its caller's result.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "edges/edge_forest.h"
#include "edges/vec3.h"
#include "hostapi/lwmeshes.h"
#include "runtime/checked_memory.h"

namespace korv {

// An edge's two ends as point entries.
struct EdgeEnds {
  std::uint32_t a;
  std::uint32_t b;
};

class ShellIndex : public NoThrowNew {
 public:
  // A point entry whose shell has no edges.
  static constexpr std::uint32_t kNoShell = 0xFFFFFFFFu;

  // The shell (its hierarchy's root) of a point entry, or kNoShell.
  std::uint32_t shell_of(std::size_t entry) const {
    return entry < point_shell_.size() ? point_shell_[entry] : kNoShell;
  }

  // How far a sample may lie from an edge found by search.
  double reach() const { return reach_; }

  // The edge of the shell nearest to spot whose foot point lies on it, at a
  // distance of at most reach() and below best.distance (strictly); among
  // edges at the same distance, the first in the edge list. Distances are
  // measured as the query measures them, to the bit. Returns false, best
  // unwritten, when there is none.
  bool search(std::uint32_t shell, const Vec3 &spot, EdgeForest::Best &best) const;

  // Hands visit every edge of the shell that may lie within reach of spot
  // (see EdgeForest::gather), each segment's edge its edge list position.
  void gather(std::uint32_t shell, const Vec3 &spot, double reach, EdgeForest::Visit visit,
              void *context) const {
    forest_.gather(shell, spot, reach, false, visit, context);
  }

  // Bytes held (for measurements).
  std::size_t memory_bytes() const;

  // Builds the index from what the edge build knows. start makes room for
  // point_count point entries; the points that list a common polygon are
  // joined into one shell by the builder's join calls, then build takes the
  // edges' ends (as point entries, edge list order) and each point entry's
  // base position (only the ends' are read). start and build fail (false,
  // null) when memory runs out.
  class Builder {
   public:
    [[nodiscard]] bool start(std::size_t point_count);
    void join(std::uint32_t p, std::uint32_t q);
    std::unique_ptr<ShellIndex> build(const Array<EdgeEnds> &edge_ends,
                                      const Array<std::array<float, 3>> &positions, double reach);

   private:
    std::uint32_t root(std::uint32_t p);
    Array<std::uint32_t> parent_;
  };

 private:
  double reach_ = 0.0;
  Array<std::uint32_t> point_shell_;
  EdgeForest forest_;
};

}  // namespace korv
