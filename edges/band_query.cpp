#include "edges/band_query.h"

#include <cmath>
#include <cstdint>
#include <utility>

#include "edges/foot_point.h"

namespace korv {

namespace {

// The normalised sum of every edge's normal at point: the normal of a
// rounded corner there (at a cube's corner, the mean of its three faces).
Vec3 corner_normal(const ObjectEdgeDatabase &database, LWPntID point) {
  Vec3 sum;
  if (const PointRecord *record = database.points.find(point)) {
    for (std::int32_t i = 0; i < record->edge_count; ++i) {
      sum = sum + record->edges[std::size_t(i)]->normal;
    }
  }
  return sum.normalize();
}

void fill_ends(const ObjectEdgeDatabase &database, const EdgeRecord &edge, BandEdge &band) {
  band.ends[0] = edge.point_a;
  band.ends[1] = edge.point_b;
  band.corner_normals[0] = corner_normal(database, edge.point_a);
  band.corner_normals[1] = corner_normal(database, edge.point_b);
}

// The widest band an edge of these settings can have: an open edge's grows
// to twice the width as it turns towards the viewer.
double widest_band(const EdgeSettings &settings) {
  return settings.open_edge != 0 ? settings.edge_width * 2.0 : settings.edge_width * 0.5;
}

// A candidate seen end-on: the foot point on its line sits on one of its
// ends, within a millionth of the sample's distance, on either side (an edge
// that leaves the polygon's corner across the polygon's plane, such as a
// cube's third edge seen from a face at that corner). Its band there is only
// that end's, which the corner normal already holds; taking it would pull
// the face towards the far side of the corner, and rounding on a turned
// object would take it at some samples and not at their neighbours.
bool seen_end_on(double t, double length, double distance) {
  const double from_end = (t < 0.5 ? (t < 0.0 ? -t : t) : (t > 1.0 ? t - 1.0 : 1.0 - t)) * length;
  return from_end <= 1e-6 * distance;
}

// Whether p and q are the points of two consecutive corners of the polygon.
bool is_side(const LWPntID *corners, int n, LWPntID p, LWPntID q) {
  for (int i = 0; i < n; ++i) {
    const LWPntID a = corners[i];
    const LWPntID b = corners[(i + 1) % n];
    if ((a == p && b == q) || (a == q && b == p)) {
      return true;
    }
  }
  return false;
}

// The base positions the search has read, so that a point at the end of
// several candidates (every corner is) goes to the host once.
class PositionMemo {
 public:
  explicit PositionMemo(LWMeshInfo *mesh) : mesh_(mesh) {}
  Vec3 operator()(LWPntID point) {
    for (int i = 0; i < count_; ++i) {
      if (points_[i] == point) {
        return positions_[i];
      }
    }
    LWFVector pos = {0.0f, 0.0f, 0.0f};
    mesh_->pntBasePos(mesh_, point, pos);
    return keep(point, to_vec3(pos));
  }

 private:
  static constexpr int kSize = 32;
  Vec3 keep(LWPntID point, const Vec3 &position) {
    if (count_ < kSize) {
      points_[count_] = point;
      positions_[count_++] = position;
    }
    return position;
  }

  LWMeshInfo *mesh_;
  LWPntID points_[kSize];
  Vec3 positions_[kSize];
  int count_ = 0;
};

// The sides of the sample's polygon: from its corners, or from its corner
// index when it has too many to walk.
struct Sides {
  const LWPntID *corners;
  int n;
  const CornerIndex *index;
  const CornerIndex::Polygon *indexed;
  const EdgeRecord *records;
  bool operator()(const EdgeRecord *edge) const {
    return indexed != nullptr ? index->is_side(*indexed, std::uint32_t(edge - records))
                              : is_side(corners, n, edge->point_a, edge->point_b);
  }
};

// The candidates kept so far, nearest first; among equal distances the lower
// rank first. Rank 0 upwards is the walk's order of meeting them.
class Gathering {
 public:
  Gathering(BandEdge *band, const EdgeRecord *nearest, double reach, const Vec3 &spot,
            const Sides &sides)
      : band_(band),
        reach_(reach),
        reach_squared_(reach * reach * (1.0 + 0x1p-40)),
        spot_(spot),
        sides_(sides) {
    taken_[0] = nearest;
  }

  // Measures edge (its base positions a and a + d) from its segment and
  // keeps it when it is among the nearest.
  void offer(const EdgeRecord *edge, const Vec3 &a, const Vec3 &d, std::uint64_t rank) {
    // Most candidates lie beyond the reach along some axis already: passed
    // over before any root or division, with room for the rounding of the
    // distance they would be measured at.
    const Vec3 b = a + d;
    if (apart(spot_.x, a.x, b.x) || apart(spot_.y, a.y, b.y) || apart(spot_.z, a.z, b.z)) {
      return;
    }
    for (int k = 0; k < count_; ++k) {
      if (taken_[k] == edge) {
        // Met again (an index lists an edge at both its ends): the earlier
        // meeting of the walk decides its place.
        if (k > 0 && rank < rank_[k]) {
          rank_[k] = rank;
          for (; k > 1 && before(band_[k].distance, rank, k - 1); --k) {
            swap(k, k - 1);
          }
        }
        return;
      }
    }
    double t = 0.0;
    if (!foot_parameter(a, d, spot_, t) || std::isnan(t)) {
      return;
    }
    // Every candidate is measured from its segment: beyond an end (past a
    // corner wider than a right angle, or across a seam of a face made of
    // several polygons) its band goes on round that end, so that it fades
    // in where its foot leaves it instead of setting in at once, and
    // polygons on either side of a seam see it alike. A side of the
    // polygon lies in its plane and is never seen end-on.
    const double line_t = t;
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    // Most candidates lie well beyond the reach: they are passed over before
    // the root, with room for the rounding of the reach's square.
    const double squared = squared_foot_distance(a, d, spot_, t);
    if (!(squared <= reach_squared_)) {
      return;
    }
    const double distance = std::sqrt(squared);
    if (!(distance < reach_)) {
      return;
    }
    if (seen_end_on(line_t, d.length(), distance) && !sides_(edge)) {
      return;
    }
    // When there are more than room for, the farthest goes (their
    // contributions are the smallest).
    int at = count_;
    while (at > 1 && before(distance, rank, at - 1)) {
      --at;
    }
    if (at >= EdgeQuery::kMaxBandEdges) {
      return;
    }
    const int last = count_ < EdgeQuery::kMaxBandEdges ? count_ : EdgeQuery::kMaxBandEdges - 1;
    for (int k = last; k > at; --k) {
      move(k, k - 1);
    }
    band_[at].distance = distance;
    band_[at].is_open = edge->is_open;
    taken_[at] = edge;
    taken_t_[at] = t;
    rank_[at] = rank;
    count_ = last + 1;
  }

  // The normals last, for the edges kept only.
  int finish(const ObjectEdgeDatabase &database, const EdgeSettings &settings) {
    for (int k = 1; k < count_; ++k) {
      band_[k].normal = query_edge_normal(database, *taken_[k], taken_t_[k], settings);
      fill_ends(database, *taken_[k], band_[k]);
    }
    return count_;
  }

 private:
  bool apart(double s, double p, double q) const {
    const double lo = p < q ? p : q;
    const double hi = p < q ? q : p;
    const double gap = s < lo ? lo - s : (s > hi ? s - hi : 0.0);
    return gap > reach_ + 0x1p-40 * (std::fabs(s) + std::fabs(p) + std::fabs(q) + reach_);
  }
  bool before(double distance, std::uint64_t rank, int k) const {
    return band_[k].distance > distance || (band_[k].distance == distance && rank_[k] > rank);
  }
  void move(int to, int from) {
    band_[to] = band_[from];
    taken_[to] = taken_[from];
    taken_t_[to] = taken_t_[from];
    rank_[to] = rank_[from];
  }
  void swap(int i, int j) {
    std::swap(band_[i], band_[j]);
    std::swap(taken_[i], taken_[j]);
    std::swap(taken_t_[i], taken_t_[j]);
    std::swap(rank_[i], rank_[j]);
  }

  BandEdge *band_;
  double reach_;
  double reach_squared_;
  Vec3 spot_;
  Sides sides_;
  const EdgeRecord *taken_[EdgeQuery::kMaxBandEdges] = {};
  double taken_t_[EdgeQuery::kMaxBandEdges] = {};
  std::uint64_t rank_[EdgeQuery::kMaxBandEdges] = {};
  int count_ = 1;
};

// An index's edges, offered as the walk would rank them: by the corner that
// first meets them (order), then by their place in the edge list; a
// shell's after every edge of the polygon's own.
struct IndexOffer {
  Gathering *gathering;
  const EdgeRecord *records;
  std::uint64_t order_base;
  bool shell;

  static void visit(void *context, const EdgeForest::Segment &s) {
    const auto &self = *static_cast<const IndexOffer *>(context);
    const std::uint64_t rank =
        self.shell ? (std::uint64_t(1) << 63) | s.edge : (self.order_base + s.order) << 32 | s.edge;
    const Vec3 a = to_vec3(s.a);
    self.gathering->offer(&self.records[s.edge], a, to_vec3(s.b) - a, rank);
  }
};

}  // namespace

void gather_band_edges(const ObjectEdgeDatabase &database, LWMeshInfo *mesh, const EdgeSpot &spot,
                       const BandSources &sources, const NearestBand &nearest, EdgeQuery &query) {
  BandEdge *const band = query.band;
  query.band_count = 0;
  const double reach = widest_band(query.settings);
  const int n = sources.n;
  const CornerIndex::Polygon *indexed = sources.indexed;
  // A sample beyond every band has nothing to blend. Nor has a polygon of
  // many corners without an index (there is none such once the build has
  // indexed them all): it keeps its nearest edge's bend alone.
  if (!(nearest.distance < reach) || (n > CornerIndex::kManyCorners && indexed == nullptr)) {
    return;
  }
  const EdgeRecord *const records = database.edge_list->records.data();
  const WalkedCorners *walked = sources.walked;
  LWPntID corners[CornerIndex::kManyCorners];
  const bool handed = walked != nullptr && walked->count == n;
  for (int i = 0; indexed == nullptr && i < n; ++i) {
    corners[i] = handed ? walked->corners[i] : mesh->polVertex(mesh, spot.polygon, i);
  }
  const Sides sides{corners, n, database.corners.get(), indexed, records};
  PositionMemo position(mesh);
  Gathering gathering(band, nearest.edge, reach, spot.position, sides);
  // A side of the polygon is met at both its corners; as in the nearest
  // edge's walk, the second meeting (whose verdict and place can only repeat
  // the first's) is passed over when the first corner's point lists it.
  std::uint64_t met = 0;
  LWPntID first = nullptr;
  LWPntID previous = nullptr;
  for (int i = 0; indexed == nullptr && i < n; ++i) {
    const LWPntID corner = corners[i];
    bool again = false;
    for (int k = 0; k < i; ++k) {
      again = again || corners[k] == corner;
    }
    const PointRecord *record = handed ? walked->records[i] : database.points.find(corner);
    const LWPntID listed = record != nullptr && record->edge_count > 0 ? corner : nullptr;
    for (std::int32_t e = 0; !again && listed != nullptr && e < record->edge_count; ++e) {
      const EdgeRecord *edge = record->edges[std::size_t(e)];
      const LWPntID other = edge->point_a == corner ? edge->point_b : edge->point_a;
      if (i > 0 && other != nullptr && (other == previous || other == first)) {
        continue;
      }
      const Vec3 a = position(edge->point_a);
      gathering.offer(edge, a, position(edge->point_b) - a, met++);
    }
    first = i == 0 ? listed : first;
    previous = listed;
  }
  if (indexed != nullptr) {
    const CornerIndex &index = *database.corners;
    IndexOffer offer{&gathering, records, 0, false};
    index.forest().gather(indexed->root, spot.position, reach, false, IndexOffer::visit, &offer);
    for (std::uint32_t k = indexed->busy_begin; k < indexed->busy_end; ++k) {
      const CornerIndex::BusyCorner &busy = index.busy_corners()[k];
      offer.order_base = busy.order;
      index.forest().gather(index.point_tree(busy.entry), spot.position, reach, true,
                            IndexOffer::visit, &offer);
    }
  }
  if (database.shells != nullptr && sources.shell_entry >= 0) {
    const ShellIndex &shells = *database.shells;
    IndexOffer offer{&gathering, records, 0, true};
    shells.gather(shells.shell_of(std::size_t(sources.shell_entry)), spot.position, reach,
                  IndexOffer::visit, &offer);
  }
  // The nearest edge is written only when others join it: alone, it bends
  // the sample as it always has.
  const int count = gathering.finish(database, query.settings);
  if (count < 2) {
    return;
  }
  band[0].distance = nearest.distance;
  band[0].normal = nearest.normal;
  band[0].is_open = nearest.edge->is_open;
  fill_ends(database, *nearest.edge, band[0]);
  // The nearest edge seen end-on (a cube's third edge, where a foot on its
  // line falls on the corner exactly) is the nearest only where no side's
  // foot lies on its side; among the bands that hold the sample there, it
  // would set in at once.
  const double length =
      (position(nearest.edge->point_b) - position(nearest.edge->point_a)).length();
  band[0].end_on = !sides(nearest.edge) && seen_end_on(nearest.t, length, nearest.distance);
  query.band_count = count;
}

}  // namespace korv
