// The edge database as plain values, and a slow, obvious build of it that
// walks lists the way the build is described, against which the module's
// indexed build is compared: by the unit tests on chosen meshes and by the
// mesh fuzzer on arbitrary ones. Nothing here depends on a test framework.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "edges/edge_build.h"
#include "hostapi/lwmeshes.h"

namespace korv::testing {

struct BuildOptions {
  double cos_threshold = 0.0087265354983739347;  // cos(89.5 degrees)
  std::int32_t open_edge = 0;
  std::int32_t use_deform = 0;
  std::int32_t edge_kind = 0;  // 1 keeps convex sharp edges only, 2 concave ones
  bool thin = false;           // the module keeps what the query reads only
};

// The same options as the module's build takes them.
inline EdgeBuildOptions module_options(const BuildOptions &o) {
  EdgeBuildOptions options;
  options.cos_threshold = o.cos_threshold;
  options.open_edge = o.open_edge;
  options.use_deform = o.use_deform;
  options.edge_kind = edge_kind_setting(o.edge_kind);
  options.keep_point_records = !o.thin;
  return options;
}

// A database as plain values: edges in list order, points in key order, each
// point's edges as positions in the edge list.
struct EdgeSnapshot {
  struct Edge {
    std::uintptr_t a = 0;
    std::uintptr_t b = 0;
    Vec3 normal;
    std::int32_t is_open = 0;
    bool operator==(const Edge &) const = default;
  };
  struct Point {
    std::uintptr_t key = 0;
    std::int32_t polygon_count = 0;
    std::int32_t polygon_fill = 0;
    std::vector<std::uintptr_t> polygons;
    std::vector<std::size_t> edges;
    bool operator==(const Point &) const = default;
  };
  std::vector<Edge> edges;
  std::vector<Point> points;
  bool operator==(const EdgeSnapshot &) const = default;
};

inline std::ostream &operator<<(std::ostream &out, const EdgeSnapshot::Edge &e) {
  return out << "{" << e.a << "-" << e.b << " n=(" << e.normal.x << "," << e.normal.y << ","
             << e.normal.z << ") open=" << e.is_open << "}";
}
inline std::ostream &operator<<(std::ostream &out, const EdgeSnapshot::Point &p) {
  out << "{point " << p.key << " count=" << p.polygon_count << " fill=" << p.polygon_fill
      << " polygons=";
  for (auto q : p.polygons)
    out << q << " ";
  out << "edges=";
  for (auto k : p.edges)
    out << k << " ";
  return out << "}";
}

inline EdgeSnapshot snapshot(const ObjectEdgeDatabase &database) {
  EdgeSnapshot s;
  const EdgeRecord *first = nullptr;
  if (database.edge_list) {
    first = database.edge_list->records.data();
    for (const EdgeRecord &e : database.edge_list->records) {
      s.edges.push_back({point_key(e.point_a), point_key(e.point_b), e.normal, e.is_open});
    }
  }
  for (const auto &[key, record] : database.points) {
    EdgeSnapshot::Point p;
    p.key = key;
    p.polygon_count = record.polygon_count;
    p.polygon_fill = record.polygon_fill;
    for (std::int32_t i = 0; i < record.polygon_fill; ++i) {
      p.polygons.push_back(reinterpret_cast<std::uintptr_t>(record.polygons[std::size_t(i)]));
    }
    for (std::int32_t i = 0; i < record.edge_count; ++i) {
      p.edges.push_back(std::size_t(record.edges[std::size_t(i)] - first));
    }
    s.points.push_back(std::move(p));
  }
  return s;
}

// What a database built without keep_point_records keeps of s: the records
// of the points that end an edge (every record when the search crosses
// polygons), without their polygon lists.
inline EdgeSnapshot thinned(EdgeSnapshot s, bool keep_every_point = false) {
  std::vector<std::uintptr_t> ends;
  for (const EdgeSnapshot::Edge &e : s.edges) {
    ends.push_back(e.a);
    ends.push_back(e.b);
  }
  std::sort(ends.begin(), ends.end());
  std::vector<EdgeSnapshot::Point> kept;
  for (EdgeSnapshot::Point &p : s.points) {
    if (keep_every_point || std::binary_search(ends.begin(), ends.end(), p.key)) {
      p.polygon_fill = 0;
      p.polygons.clear();
      kept.push_back(std::move(p));
    }
  }
  s.points = std::move(kept);
  return s;
}

// Two doubles are the same when their bits are, or when both are NaN.
inline bool same_double(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (a != a && b != b);
}

inline bool same_edge(const EdgeSnapshot::Edge &x, const EdgeSnapshot::Edge &y) {
  return x.a == y.a && x.b == y.b && x.is_open == y.is_open &&
         same_double(x.normal.x, y.normal.x) && same_double(x.normal.y, y.normal.y) &&
         same_double(x.normal.z, y.normal.z);
}

// The first difference between two snapshots, entry by entry, with normals
// compared bit for bit; empty when there is none.
inline std::string describe_difference(const EdgeSnapshot &built, const EdgeSnapshot &reference) {
  std::ostringstream out;
  out.precision(17);
  if (built.edges.size() != reference.edges.size()) {
    out << "the build has " << built.edges.size() << " edges, the reference "
        << reference.edges.size();
    return out.str();
  }
  for (std::size_t k = 0; k < built.edges.size(); ++k) {
    if (!same_edge(built.edges[k], reference.edges[k])) {
      out << "edge " << k << ": built " << built.edges[k] << ", reference " << reference.edges[k];
      return out.str();
    }
  }
  if (built.points.size() != reference.points.size()) {
    out << "the build has " << built.points.size() << " points, the reference "
        << reference.points.size();
    return out.str();
  }
  for (std::size_t i = 0; i < built.points.size(); ++i) {
    if (!(built.points[i] == reference.points[i])) {
      out << "point entry " << i << ": built " << built.points[i] << ", reference "
          << reference.points[i];
      return out.str();
    }
  }
  return "";
}

// The obvious build: an ordered std::map of points, a neighbour search that
// walks one polygon list inside the other, a duplicate test over the whole
// edge list and, for every point, a walk over the whole edge list. Where the
// host's mesh changes between the scans it does what the module's build
// does: a corner whose point was not counted, or beyond the uses counted, is
// left out; a polygon larger than all the uses counted fails the build, as
// does a count pass that reports more than kMaxCornerUses.
class ReferenceBuild {
 public:
  ReferenceBuild(LWMeshInfo *mesh, BuildOptions options) : mesh_(mesh), options_(options) {}

  // False when a scan failed or the mesh could not be held.
  bool run(EdgeSnapshot &out) {
    if (mesh_->scanPolys(mesh_, count, this) != 0 || mesh_->scanPolys(mesh_, fill, this) != 0 ||
        mesh_->scanPolys(mesh_, find_edges, this) != 0 ||
        mesh_->scanPoints(mesh_, collect, this) != 0) {
      return false;
    }
    out = {};
    out.edges = edges_;
    for (auto &[key, p] : points_) {
      out.points.push_back(p);
    }
    return true;
  }

 private:
  static ReferenceBuild &self(void *user) { return *static_cast<ReferenceBuild *>(user); }

  Vec3 position(LWPntID point) const {
    LWFVector pos = {0, 0, 0};
    (options_.use_deform ? mesh_->pntOtherPos : mesh_->pntBasePos)(mesh_, point, pos);
    return to_vec3(pos);
  }

  Vec3 unit_normal(LWPolID polygon) const {
    Vec3 n;
    const int size = mesh_->polSize(mesh_, polygon);
    if (size >= 3) {
      const Vec3 p0 = position(mesh_->polVertex(mesh_, polygon, 0));
      const Vec3 p1 = position(mesh_->polVertex(mesh_, polygon, 1));
      const Vec3 pl = position(mesh_->polVertex(mesh_, polygon, size - 1));
      n = cross(p1 - p0, pl - p0);
    }
    return n.normalize();
  }

  static LWScanResult count(void *user, LWPolID polygon) {
    ReferenceBuild &r = self(user);
    const int n = r.mesh_->polSize(r.mesh_, polygon);
    if (n >= 3 && std::int64_t(n) + r.corner_uses_ > kMaxCornerUses) {
      return 1;
    }
    for (int i = 0; n >= 3 && i < n; ++i) {
      const std::uintptr_t key = point_key(r.mesh_->polVertex(r.mesh_, polygon, i));
      r.points_[key].key = key;
      r.points_[key].polygon_count += 1;
      r.corner_uses_ += 1;
    }
    return 0;
  }

  static LWScanResult fill(void *user, LWPolID polygon) {
    ReferenceBuild &r = self(user);
    const int n = r.mesh_->polSize(r.mesh_, polygon);
    if (n >= 3 && n > r.corner_uses_) {
      return 1;
    }
    for (int i = 0; n >= 3 && i < n; ++i) {
      const auto it = r.points_.find(point_key(r.mesh_->polVertex(r.mesh_, polygon, i)));
      if (it == r.points_.end() || it->second.polygon_fill >= it->second.polygon_count) {
        continue;
      }
      it->second.polygons.push_back(reinterpret_cast<std::uintptr_t>(polygon));
      it->second.polygon_fill += 1;
      // The side from this use on, when the next corner's point was counted.
      const std::uintptr_t next = point_key(r.mesh_->polVertex(r.mesh_, polygon, (i + 1) % n));
      if (r.points_.count(next) != 0) {
        r.sides_.push_back({reinterpret_cast<std::uintptr_t>(polygon), it->first, next});
      }
    }
    return 0;
  }

  bool has_side(std::uintptr_t polygon, std::uintptr_t from, std::uintptr_t to) const {
    return std::find(sides_.begin(), sides_.end(), std::array{polygon, from, to}) != sides_.end();
  }

  // Whether the side a-b between own (running from a to b) and neighbour
  // has the kind the options keep: convex where each polygon's surface next
  // to the side lies behind the other's plane, concave where in front.
  bool kind_kept(std::uintptr_t neighbour, LWPntID a, LWPntID b, const Vec3 &np,
                 const Vec3 &nq) const {
    const int kind = options_.edge_kind;
    if (kind != 1 && kind != 2) {
      return true;
    }
    const bool same = has_side(neighbour, point_key(a), point_key(b));
    const bool reversed = has_side(neighbour, point_key(b), point_key(a));
    if (same == reversed) {
      return false;
    }
    const Vec3 pa = position(a);
    const Vec3 pb = position(b);
    const double p_side = dot(nq, cross(np, pb - pa));
    const double q_side = dot(np, reversed ? cross(nq, pa - pb) : cross(nq, pb - pa));
    return kind == 1 ? (p_side < 0.0 && q_side < 0.0) : (p_side > 0.0 && q_side > 0.0);
  }

  static LWScanResult find_edges(void *user, LWPolID polygon) {
    ReferenceBuild &r = self(user);
    const auto own = reinterpret_cast<std::uintptr_t>(polygon);
    const int n = r.mesh_->polSize(r.mesh_, polygon);
    if (n >= 3 && n > r.corner_uses_) {
      return 1;
    }
    for (int i = 0; n >= 3 && i < n; ++i) {
      const LWPntID a = r.mesh_->polVertex(r.mesh_, polygon, i);
      const LWPntID b = r.mesh_->polVertex(r.mesh_, polygon, (i + 1) % n);
      const auto ra = r.points_.find(point_key(a));
      const auto rb = r.points_.find(point_key(b));
      if (ra == r.points_.end() || rb == r.points_.end()) {
        return 0;
      }
      const Vec3 np = r.unit_normal(polygon);
      std::uintptr_t neighbour = 0;
      for (std::uintptr_t q : ra->second.polygons) {
        if (q == own)
          continue;
        for (std::uintptr_t q2 : rb->second.polygons) {
          if (q2 != own && q2 == q) {
            neighbour = q;
            break;
          }
        }
        if (neighbour != 0)
          break;
      }
      if (neighbour != 0) {
        const Vec3 nq = r.unit_normal(reinterpret_cast<LWPolID>(neighbour));
        if (dot(np, nq) > r.options_.cos_threshold)
          continue;
        // A side is judged once: the first time it is found sharp.
        bool seen = false;
        for (const auto &e : r.judged_) {
          seen = seen || (e.first == point_key(a) && e.second == point_key(b)) ||
                 (e.first == point_key(b) && e.second == point_key(a));
        }
        if (seen)
          continue;
        r.judged_.push_back({point_key(a), point_key(b)});
        if (!r.kind_kept(neighbour, a, b, np, nq))
          continue;
        Vec3 sum = np + nq;
        r.edges_.push_back({point_key(a), point_key(b), sum.normalize(), 0});
      } else if (r.options_.open_edge != 0) {
        Vec3 d = r.position(a) - r.position(b);
        d.normalize();
        Vec3 out = cross(np, d);
        r.edges_.push_back({point_key(a), point_key(b), out.normalize(), 1});
        r.judged_.push_back({point_key(a), point_key(b)});
      }
    }
    return 0;
  }

  static LWScanResult collect(void *user, LWPntID point) {
    ReferenceBuild &r = self(user);
    const auto it = r.points_.find(point_key(point));
    if (it == r.points_.end()) {
      return 0;
    }
    it->second.edges.clear();
    for (std::size_t k = 0; k < r.edges_.size(); ++k) {
      if (r.edges_[k].a == point_key(point) || r.edges_[k].b == point_key(point)) {
        it->second.edges.push_back(k);
      }
    }
    return 0;
  }

  LWMeshInfo *mesh_;
  BuildOptions options_;
  std::int64_t corner_uses_ = 0;
  std::map<std::uintptr_t, EdgeSnapshot::Point> points_;
  std::vector<EdgeSnapshot::Edge> edges_;
  // Every side that has been given an edge or judged sharp, as its ends.
  std::vector<std::pair<std::uintptr_t, std::uintptr_t>> judged_;
  // (polygon, from, to) for each corner use the fill stored.
  std::vector<std::array<std::uintptr_t, 3>> sides_;
};

}  // namespace korv::testing
