// Bounding volume hierarchies over edges, many in one pool: the shells of an
// object (a search across polygons), and the corners of its large polygons
// and of its points with many edges (the query's own candidates). A search
// finds the nearest edge whose foot point lies on it, measured from the base
// positions the build read with the query's own arithmetic, so that it gives
// the very bits a walk of the same edges would, without a host call. It
// allocates nothing and writes only its caller's result.
//
// A node is bounded by its box and, where the box is much wider than the
// edges in it (long edges in any direction but along an axis, whose boxes
// cover everything between), by a capsule around an axis along the edges:
// a search visits about the depth of its hierarchy plus the edges near the
// sample, whatever the edges' direction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "edges/vec3.h"
#include "hostapi/lwmeshes.h"
#include "runtime/checked_memory.h"

namespace korv {

class EdgeForest {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  struct Segment {
    LWFVector a;          // point_a's base position, as the host gave it
    LWFVector b;          // point_b's
    std::uint32_t edge;   // position in the edge list
    std::uint32_t order;  // among equal distances, the lower (order, edge) wins
  };

  // The best edge so far, and the bound a search must beat: a candidate is
  // taken when its distance is lower, or equal with a lower (order, edge).
  // With order and edge 0 only a lower distance is taken.
  struct Best {
    double distance = 0.0;
    double squared = 0.0;  // the distance before its root
    double t = 0.0;
    std::uint32_t order = 0;
    std::uint32_t edge = kNone;
  };

  // Builds one hierarchy over segments (any order), appends it to the pool
  // and sets root to its root (kNone when segments is empty). False, the pool
  // left as it was, when memory runs out. With an apex, every
  // segment has an end there (the edges of one point): its nodes are then
  // bounded by cones from the apex instead of capsules, since edges that
  // meet at a point lie close together near it whatever their directions.
  [[nodiscard]] bool add_tree(const Array<Segment> &segments, std::uint32_t &root,
                              const float *apex = nullptr);

  // Searches the tree of root for an edge within reach that beats best, each
  // segment's order raised by order_base, and writes it to best. Returns
  // whether it did. A spot with a coordinate that is not finite is refused,
  // and so is one with a coordinate beyond 2^129 when the bound (the reach
  // or best.distance) is at most 2^127: no edge at float positions can lie
  // that near it.
  // cones: the tree was built with an apex.
  bool search(std::uint32_t root, const Vec3 &spot, double reach, std::uint32_t order_base,
              Best &best, bool cones = false) const;

  // Hands visit every segment of the tree of root that may lie within reach
  // of spot (its node and its own box do, up to the rounding the search
  // allows for): more than those within reach, never fewer, so that the
  // caller measures each itself. In no particular order; a spot that search
  // refuses gets none.
  using Visit = void (*)(void *context, const Segment &segment);
  void gather(std::uint32_t root, const Vec3 &spot, double reach, bool cones, Visit visit,
              void *context) const;

  std::size_t memory_bytes() const;
  void shrink_to_fit();

  struct Node {
    float lo[3];
    float hi[3];
    // The capsule: every edge lies within radius of the segment from
    // axis_a to axis_b. radius < 0: the node has none (its box suffices).
    // In a tree with an apex, the cone instead: every edge lies within the
    // angle whose sine is radius of the axis axis_b from the apex axis_a.
    // axis_b is a unit vector rounded to floats: its length is 1 only to
    // about 2^-24, so whoever measures against it divides by its length.
    float axis_a[3];
    float axis_b[3];
    float radius;
    // An inner node's first child follows it; first is its second child.
    // A leaf's segments are segments_[first .. first + count).
    std::uint32_t first;
    std::uint32_t count;  // 0 for an inner node
  };

  // What a tree is built from: each edge, or each piece of a long edge
  // (the edge itself, with a box around its piece), so that one long edge
  // does not stretch every node on its way to the root over the whole tree.
  struct Item {
    Segment segment;
    float lo[3];
    float hi[3];
    bool piece;
  };

  // The pool as built, for checks of its bounds against its edges.
  const Array<Node> &nodes() const { return nodes_; }
  const Array<Segment> &segments() const { return segments_; }

 private:
  std::uint32_t build_node(std::uint32_t begin, std::uint32_t end, std::uint32_t leaf_size);
  void fit_capsule(Node &node, std::uint32_t begin, std::uint32_t end) const;
  void fit_cone(Node &node, std::uint32_t begin, std::uint32_t end) const;

  [[nodiscard]] bool make_items(const Array<Segment> &segments);

  const float *apex_ = nullptr;  // the apex of the tree being built, or null
  Array<Item> items_;            // while a tree is built
  std::uint32_t base_ = 0;       // where its first item goes in segments_
  double longest_item_ = 0.0;    // the length of its longest edge

  Array<Node> nodes_;
  Array<Segment> segments_;
};

}  // namespace korv
