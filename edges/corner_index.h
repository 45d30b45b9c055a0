// The query's candidates where a walk of them would make one sample cost as
// much as a large part of the mesh: a point with many edges (a star of sharp
// edges, the hub of a fan) and a polygon with many corners (the cap of a
// cylinder) get hierarchies of their candidate edges (in one EdgeForest),
// built with the database. A search of them gives the walk's answer to the
// bit, tie-break included: among edges at the same distance, the walk takes
// the first it meets, at the polygon's first corner whose point lists the
// edge, in its point's list (edge list) order. A search costs about the
// depth of the hierarchy plus the edges near the sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "edges/edge_forest.h"
#include "hostapi/lwmeshes.h"
#include "runtime/checked_memory.h"

namespace korv {

struct ObjectEdgeDatabase;
class PointMap;

class CornerIndex : public NoThrowNew {
 public:
  // A point with more edges than this has a hierarchy of them; a polygon
  // with more corners than this has one of the edges at its other corners.
  static constexpr std::int32_t kManyEdges = 64;
  static constexpr int kManyCorners = 64;

  // One point with many edges at a polygon's corners, and the corner where
  // the polygon first visits it.
  struct BusyCorner {
    std::uint32_t entry;
    std::uint32_t order;
  };
  struct Polygon {
    std::uintptr_t key;        // the polygon's handle
    std::uint32_t root;        // the edges at its other points, ranked by first visit; or kNone
    std::int64_t first_known;  // the point entry of its first corner the database knows, or -1
    std::uint32_t busy_begin;  // its points with many edges: busy_corners()[begin .. end)
    std::uint32_t busy_end;
    std::uint32_t sides_begin;  // its sides' edges: sides()[begin .. end), ascending
    std::uint32_t sides_end;
  };

  // The polygons with more than kManyCorners uses in the point records'
  // polygon lists, each at least once (and some smaller ones): taken from
  // the lists before the build frees them. False when memory runs out.
  [[nodiscard]] static bool many_cornered_polygons(const PointMap &points,
                                                   Array<std::uintptr_t> &found);

  // Built at the end of the database's build, from its point records, the
  // polygons many_cornered_polygons found (large) and the edges' base
  // positions, read from mesh once per point: index is left null when no
  // point has many edges and no polygon many corners. False when memory
  // runs out.
  [[nodiscard]] static bool build(const ObjectEdgeDatabase &database, LWMeshInfo *mesh,
                                  const Array<std::uintptr_t> &large,
                                  std::unique_ptr<CornerIndex> &index);

  // The hierarchy of a point entry's edges, or EdgeForest::kNone.
  std::uint32_t point_tree(std::size_t entry) const {
    return entry < point_root_.size() ? point_root_[entry] : EdgeForest::kNone;
  }
  // The index of a polygon with many corners, or null.
  const Polygon *polygon(LWPolID polygon) const;
  const BusyCorner *busy_corners() const { return busy_.data(); }
  // Whether the edge (its position in the edge list) joins two consecutive
  // corners of the indexed polygon: answered without a walk of them.
  bool is_side(const Polygon &polygon, std::uint32_t edge) const;
  const EdgeForest &forest() const { return forest_; }

  std::size_t memory_bytes() const;

 private:
  Array<std::uint32_t> point_root_;
  Array<Polygon> polygons_;  // open addressing by key; key 0 is empty
  int polygon_bits_ = 0;     // log2 of polygons_.size()
  Array<BusyCorner> busy_;
  Array<std::uint32_t> sides_;
  EdgeForest forest_;
};

}  // namespace korv
