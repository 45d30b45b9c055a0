#include "edges/corner_index.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "edges/edge_records.h"

namespace korv {

namespace {

// Open addressing over polygon handles: a multiplicative hash's top bits.
std::size_t slot_of(std::uintptr_t key, int bits) {
  return std::size_t((std::uint64_t(key) * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

int bits_for(std::size_t count) {
  int bits = 4;
  while ((std::size_t(1) << bits) < 2 * count) {
    ++bits;
  }
  return bits;
}

// The polygons with more than kManyCorners uses in the point lists (each
// use of a polygon is one of its corners): the polygons whose walk would be
// long, as candidates, each at least once; the caller asks each one's size.
// Uses are counted by hash in a table of saturating bytes, a few bits per
// use, so that the pass costs little beside the build: a slot past the
// count names every polygon that uses it from then on, among them surely
// each polygon of that many uses, and the rare small polygon that shares a
// slot with others. False when memory runs out.
bool many_cornered_polygons(const PointMap &points, Array<std::uintptr_t> &found) {
  std::size_t uses = 0;
  for (const auto &[key, record] : points) {
    uses += std::size_t(record.polygon_fill);
  }
  const int bits = bits_for(uses / 4 + 1);
  Array<std::uint8_t> counts;
  if (!counts.assign(std::size_t(1) << bits, 0)) {
    return false;
  }
  for (const auto &[key, record] : points) {
    for (std::int32_t k = 0; k < record.polygon_fill; ++k) {
      const auto polygon = reinterpret_cast<std::uintptr_t>(record.polygons[std::size_t(k)]);
      std::uint8_t &count = counts[slot_of(polygon, bits)];
      count = count == 255 ? count : std::uint8_t(count + 1);
      if (count > CornerIndex::kManyCorners && polygon != 0 &&
          (found.empty() || found.back() != polygon) && !found.push_back(polygon)) {
        return false;
      }
    }
  }
  std::sort(found.begin(), found.end());
  found.truncate(std::size_t(std::unique(found.begin(), found.end()) - found.begin()));
  return true;
}

// Reads each point entry's base position once, on first need.
class Positions {
 public:
  Positions(const PointMap &points, LWMeshInfo *mesh) : points_(points), mesh_(mesh) {}
  [[nodiscard]] bool start() {
    return read_.assign(points_.size(), 0) && at_.resize(points_.size());
  }

  // False when the point is not in the map or its position is not finite:
  // such an edge has no foot point, and the walk never takes it.
  bool get(LWPntID point, float out[3]) {
    const std::ptrdiff_t entry = points_.entry_index(point);
    if (entry < 0) {
      return false;
    }
    const auto i = std::size_t(entry);
    if (read_[i] == 0) {
      at_[i] = {0.0f, 0.0f, 0.0f};
      mesh_->pntBasePos(mesh_, point, at_[i].data());
      read_[i] = 1;
    }
    for (int k = 0; k < 3; ++k) {
      out[k] = at_[i][std::size_t(k)];
    }
    return std::isfinite(out[0]) && std::isfinite(out[1]) && std::isfinite(out[2]);
  }

 private:
  const PointMap &points_;
  LWMeshInfo *mesh_;
  Array<std::uint8_t> read_;
  Array<std::array<float, 3>> at_;
};

// Appends a segment for edge (ranked by order) when both its ends are
// finite. False when memory runs out.
bool add_segment(Array<EdgeForest::Segment> &segments, Positions &positions, const EdgeRecord &edge,
                 std::uint32_t index, std::uint32_t order) {
  EdgeForest::Segment s{};
  if (positions.get(edge.point_a, s.a) && positions.get(edge.point_b, s.b)) {
    s.edge = index;
    s.order = order;
    return segments.push_back(s);
  }
  return true;
}

// Appends the edges that join consecutive corners of a polygon (given as
// point entries, -1 for a point the database does not know), ascending and
// each once. False when memory runs out.
bool add_sides(const PointMap &points, const EdgeRecord *records,
               const Array<std::ptrdiff_t> &corner_entry, Array<std::uint32_t> &sides) {
  const std::size_t begin = sides.size();
  const std::size_t n = corner_entry.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::ptrdiff_t p = corner_entry[i];
    const std::ptrdiff_t q = corner_entry[(i + 1) % n];
    if (p < 0 || q < 0) {
      continue;
    }
    const auto self = reinterpret_cast<LWPntID>(points.entry(std::size_t(p)).first);
    const auto next = reinterpret_cast<LWPntID>(points.entry(std::size_t(q)).first);
    const PointRecord &record = points.entry(std::size_t(p)).second;
    for (std::int32_t j = 0; j < record.edge_count; ++j) {
      const EdgeRecord *edge = record.edges[std::size_t(j)];
      if ((edge->point_a == self && edge->point_b == next) ||
          (edge->point_a == next && edge->point_b == self)) {
        if (!sides.push_back(std::uint32_t(edge - records))) {
          return false;
        }
      }
    }
  }
  std::sort(sides.begin() + begin, sides.end());
  sides.truncate(std::size_t(std::unique(sides.begin() + begin, sides.end()) - sides.begin()));
  return true;
}

}  // namespace

bool CornerIndex::is_side(const Polygon &polygon, std::uint32_t edge) const {
  return std::binary_search(sides_.begin() + polygon.sides_begin,
                            sides_.begin() + polygon.sides_end, edge);
}

bool CornerIndex::many_cornered_polygons(const PointMap &points, Array<std::uintptr_t> &found) {
  return korv::many_cornered_polygons(points, found);
}

bool CornerIndex::build(const ObjectEdgeDatabase &database, LWMeshInfo *mesh,
                        const Array<std::uintptr_t> &large, std::unique_ptr<CornerIndex> &built) {
  built.reset();
  const PointMap &points = database.points;
  if (database.edge_list == nullptr || database.edge_list->records.empty()) {
    return true;
  }
  const EdgeRecord *records = database.edge_list->records.data();
  bool any_busy = false;
  for (const auto &[key, record] : points) {
    any_busy = any_busy || record.edge_count > kManyEdges;
  }
  if (!any_busy && large.empty()) {
    return true;
  }
  auto index = std::make_unique<CornerIndex>();
  Positions positions(points, mesh);
  Array<EdgeForest::Segment> segments;
  if (index == nullptr || !positions.start()) {
    return false;
  }

  if (any_busy) {
    if (!index->point_root_.assign(points.size(), EdgeForest::kNone)) {
      return false;
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
      const PointRecord &record = points.entry(i).second;
      if (record.edge_count <= kManyEdges) {
        continue;
      }
      segments.clear();
      for (std::int32_t j = 0; j < record.edge_count; ++j) {
        const EdgeRecord *edge = record.edges[std::size_t(j)];
        if (!add_segment(segments, positions, *edge, std::uint32_t(edge - records), 0)) {
          return false;
        }
      }
      // Every edge of the point ends at it: a cone from there bounds them.
      float apex[3];
      const bool finite = positions.get(reinterpret_cast<LWPntID>(points.entry(i).first), apex);
      if (finite && !index->forest_.add_tree(segments, index->point_root_[i], apex)) {
        return false;
      }
    }
  }

  if (!large.empty()) {
    const int bits = bits_for(large.size());
    index->polygon_bits_ = bits;
    // Which points and edges the polygon at hand has met already: marked
    // with its number, so that the marks need no clearing between polygons.
    Array<std::uint32_t> point_seen;
    Array<std::uint32_t> edge_seen;
    // The point entry of each corner of the polygon at hand (-1: unknown),
    // for its sides.
    Array<std::ptrdiff_t> corner_entry;
    if (!index->polygons_.assign(std::size_t(1) << bits,
                                 Polygon{0, EdgeForest::kNone, -1, 0, 0, 0, 0}) ||
        !point_seen.assign(points.size(), 0) ||
        !edge_seen.assign(database.edge_list->records.size(), 0)) {
      return false;
    }
    std::uint32_t stamp = 0;
    for (const std::uintptr_t key : large) {
      const auto polygon = reinterpret_cast<LWPolID>(key);
      const int n = mesh->polSize(mesh, polygon);
      if (n <= kManyCorners) {
        continue;  // the walk is short
      }
      ++stamp;
      Polygon entry{key, EdgeForest::kNone, -1, std::uint32_t(index->busy_.size()), 0, 0, 0};
      segments.clear();
      if (!corner_entry.resize(std::size_t(n))) {
        return false;
      }
      for (int i = 0; i < n; ++i) {
        const std::ptrdiff_t e = points.entry_index(mesh->polVertex(mesh, polygon, i));
        corner_entry[std::size_t(i)] = e;
        if (e < 0) {
          continue;
        }
        if (entry.first_known < 0) {
          entry.first_known = e;
        }
        const auto p = std::size_t(e);
        const PointRecord &record = points.entry(p).second;
        // A point the host's point scan never showed lists no edges: it
        // ranks none of them, so it must not pass as visited either, or the
        // edges to it would be ranked nowhere. They are ranked at their
        // other ends, as the walk measures them there.
        if (point_seen[p] == stamp || record.edge_count == 0) {
          continue;  // a later visit of a point can only repeat the first one's verdicts
        }
        point_seen[p] = stamp;
        if (record.edge_count > kManyEdges) {
          if (!index->busy_.push_back({std::uint32_t(p), std::uint32_t(i)})) {
            return false;
          }
          continue;
        }
        // An edge whose other end the polygon visited before was ranked
        // there, or is searched in that point's own index with that rank.
        for (std::int32_t j = 0; j < record.edge_count; ++j) {
          const EdgeRecord *edge = record.edges[std::size_t(j)];
          const auto k = std::size_t(edge - records);
          const auto self = reinterpret_cast<LWPntID>(points.entry(p).first);
          const std::ptrdiff_t other =
              points.entry_index(edge->point_a == self ? edge->point_b : edge->point_a);
          if (edge_seen[k] != stamp &&
              (other < 0 || point_seen[std::size_t(other)] != stamp || std::size_t(other) == p)) {
            edge_seen[k] = stamp;
            if (!add_segment(segments, positions, *edge, std::uint32_t(k), std::uint32_t(i))) {
              return false;
            }
          }
        }
      }
      if (!index->forest_.add_tree(segments, entry.root)) {
        return false;
      }
      entry.busy_end = std::uint32_t(index->busy_.size());
      entry.sides_begin = std::uint32_t(index->sides_.size());
      if (!add_sides(points, records, corner_entry, index->sides_)) {
        return false;
      }
      entry.sides_end = std::uint32_t(index->sides_.size());
      std::size_t slot = slot_of(key, bits);
      while (index->polygons_[slot].key != 0) {
        slot = (slot + 1) & (index->polygons_.size() - 1);
      }
      index->polygons_[slot] = entry;
    }
  }
  index->forest_.shrink_to_fit();
  index->busy_.shrink_to_fit();
  index->sides_.shrink_to_fit();
  built = std::move(index);
  return true;
}

const CornerIndex::Polygon *CornerIndex::polygon(LWPolID polygon) const {
  const auto key = reinterpret_cast<std::uintptr_t>(polygon);
  if (polygons_.empty() || key == 0) {
    return nullptr;
  }
  for (std::size_t slot = slot_of(key, polygon_bits_);;
       slot = (slot + 1) & (polygons_.size() - 1)) {
    if (polygons_[slot].key == key) {
      return &polygons_[slot];
    }
    if (polygons_[slot].key == 0) {
      return nullptr;
    }
  }
}

std::size_t CornerIndex::memory_bytes() const {
  return sizeof(CornerIndex) + point_root_.capacity() * sizeof(std::uint32_t) +
         polygons_.capacity() * sizeof(Polygon) + busy_.capacity() * sizeof(BusyCorner) +
         sides_.capacity() * sizeof(std::uint32_t) + forest_.memory_bytes();
}

}  // namespace korv
