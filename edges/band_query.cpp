#include "edges/band_query.h"

#include <cmath>

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
    if (count_ < kSize) {
      points_[count_] = point;
      positions_[count_++] = to_vec3(pos);
    }
    return to_vec3(pos);
  }

 private:
  static constexpr int kSize = 32;
  LWMeshInfo *mesh_;
  LWPntID points_[kSize];
  Vec3 positions_[kSize];
  int count_ = 0;
};

}  // namespace

void gather_band_edges(const ObjectEdgeDatabase &database, LWMeshInfo *mesh, const EdgeSpot &spot,
                       int n, const NearestBand &nearest, EdgeQuery &query) {
  BandEdge *const band = query.band;
  band[0].distance = nearest.distance;
  band[0].normal = nearest.normal;
  band[0].is_open = nearest.edge->is_open;
  band[0].end_on = false;
  fill_ends(database, *nearest.edge, band[0]);
  int count = 1;
  const double reach = widest_band(query.settings);
  if (!(nearest.distance < reach) || n > CornerIndex::kManyCorners) {
    query.band_count = count;
    return;
  }
  const EdgeRecord *taken[EdgeQuery::kMaxBandEdges] = {nearest.edge};
  double taken_t[EdgeQuery::kMaxBandEdges] = {0.0};
  LWPntID corners[CornerIndex::kManyCorners];
  for (int i = 0; i < n; ++i) {
    corners[i] = mesh->polVertex(mesh, spot.polygon, i);
  }
  // The nearest edge seen end-on (a cube's third edge, where a foot on its
  // line falls on the corner exactly) is the nearest only where no side's
  // foot lies on its side; among the bands that hold the sample there, it
  // would set in at once.
  PositionMemo position(mesh);
  {
    const double length =
        (position(nearest.edge->point_b) - position(nearest.edge->point_a)).length();
    band[0].end_on = !is_side(corners, n, nearest.edge->point_a, nearest.edge->point_b) &&
                     seen_end_on(nearest.t, length, nearest.distance);
  }
  for (int i = 0; i < n; ++i) {
    const LWPntID corner = corners[i];
    bool again = false;
    for (int k = 0; k < i; ++k) {
      again = again || corners[k] == corner;
    }
    const PointRecord *record = again ? nullptr : database.points.find(corner);
    for (std::int32_t e = 0; record != nullptr && e < record->edge_count; ++e) {
      const EdgeRecord *edge = record->edges[std::size_t(e)];
      bool known = false;
      for (int k = 0; k < count; ++k) {
        known = known || taken[k] == edge;
      }
      if (known) {
        continue;
      }
      const Vec3 a = position(edge->point_a);
      const Vec3 d = position(edge->point_b) - a;
      double t = 0.0;
      if (!foot_parameter(a, d, spot.position, t) || std::isnan(t)) {
        continue;
      }
      // Every candidate is measured from its segment: beyond an end (past a
      // corner wider than a right angle, or across a seam of a face made of
      // several polygons) its band goes on round that end, so that it fades
      // in where its foot leaves it instead of setting in at once, and
      // polygons on either side of a seam see it alike. A side of the
      // polygon lies in its plane and is never seen end-on.
      const double line_t = t;
      t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
      const double distance = std::sqrt(squared_foot_distance(a, d, spot.position, t));
      if (!(distance < reach)) {
        continue;
      }
      const LWPntID other = edge->point_a == corner ? edge->point_b : edge->point_a;
      if (seen_end_on(line_t, d.length(), distance) && !is_side(corners, n, corner, other)) {
        continue;
      }
      // Kept nearest first; when there are more than room for, the farthest
      // goes (their contributions are the smallest).
      int at = count;
      while (at > 1 && band[at - 1].distance > distance) {
        --at;
      }
      if (at >= EdgeQuery::kMaxBandEdges) {
        continue;
      }
      const int last = count < EdgeQuery::kMaxBandEdges ? count : EdgeQuery::kMaxBandEdges - 1;
      for (int k = last; k > at; --k) {
        band[k] = band[k - 1];
        taken[k] = taken[k - 1];
        taken_t[k] = taken_t[k - 1];
      }
      band[at].distance = distance;
      band[at].is_open = edge->is_open;
      taken[at] = edge;
      taken_t[at] = t;
      count = last + 1;
    }
  }
  // The normals last, for the edges kept only.
  for (int k = 1; k < count; ++k) {
    band[k].normal = query_edge_normal(database, *taken[k], taken_t[k], query.settings);
    fill_ends(database, *taken[k], band[k]);
  }
  query.band_count = count;
}

}  // namespace korv
