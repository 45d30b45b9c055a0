// A slow, obvious nearest-edge query and shading evaluation over a snapshot
// of an edge database (edge_reference.h), for comparison with what the
// module does to a shading record. It finds points by walking the snapshot's
// point list and follows the written description step by step, with the
// same double arithmetic in the same order, so that its results agree with
// the module's bit for bit. Nothing here depends on a test framework.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "hostapi/lwshader.h"
#include "instance/edge_instance.h"
#include "tests/reference/edge_reference.h"

namespace korv::testing {

// An edge whose band may hold the sample, for blending corners: its
// distance, its normal, its ends and the corner normals there (the
// normalised sum of every edge normal at the point).
struct ReferenceBand {
  double distance;
  Vec3 normal;
  std::int32_t is_open;
  std::uintptr_t ends[2];
  Vec3 corners[2];
};

struct ReferenceHit {
  double distance = -1.0;
  Vec3 normal;
  std::int32_t is_open = 0;
  bool searched = false;  // a database was searched, whatever it found
  // With corner_blend: the nearest edge, then up to three others, nearest
  // first; whether the nearest is seen end-on (it then bends alone).
  std::vector<ReferenceBand> bands = {};
  bool end_on = false;
};

// The point entry of key, found by walking the list; null when absent.
inline const EdgeSnapshot::Point *reference_point(const EdgeSnapshot &db, std::uintptr_t key) {
  for (const EdgeSnapshot::Point &p : db.points) {
    if (p.key == key) {
      return &p;
    }
  }
  return nullptr;
}

inline Vec3 reference_base_position(LWMeshInfo *mesh, std::uintptr_t key) {
  LWFVector pos = {0.0f, 0.0f, 0.0f};
  mesh->pntBasePos(mesh, reinterpret_cast<LWPntID>(key), pos);
  return to_vec3(pos);
}

// The end normal at one end of the best edge: its own normal plus each other
// edge at that point within the smoothing angle of it, normalised.
inline Vec3 reference_end_normal(const EdgeSnapshot &db, std::size_t best, std::uintptr_t end,
                                 double smooth_cosine) {
  const Vec3 own = db.edges[best].normal;
  Vec3 sum = own;
  if (const EdgeSnapshot::Point *p = reference_point(db, end)) {
    for (std::size_t k : p->edges) {
      if (k != best && dot(own, db.edges[k].normal) >= smooth_cosine) {
        sum = sum + db.edges[k].normal;
      }
    }
  }
  return sum.normalize();
}

// The keys of the points of key's shell: every point reached from it by
// stepping to the points that list a polygon it lists.
inline std::set<std::uintptr_t> reference_shell(const EdgeSnapshot &db, std::uintptr_t key) {
  std::map<std::uintptr_t, std::vector<std::uintptr_t>> points_of_polygon;
  std::map<std::uintptr_t, const EdgeSnapshot::Point *> point_of_key;
  for (const EdgeSnapshot::Point &p : db.points) {
    point_of_key[p.key] = &p;
    for (std::uintptr_t polygon : p.polygons) {
      points_of_polygon[polygon].push_back(p.key);
    }
  }
  std::set<std::uintptr_t> shell = {key};
  std::vector<std::uintptr_t> open = {key};
  while (!open.empty()) {
    const EdgeSnapshot::Point *p = point_of_key.at(open.back());
    open.pop_back();
    for (std::uintptr_t polygon : p->polygons) {
      // Each polygon's points are taken once.
      for (std::uintptr_t other : std::exchange(points_of_polygon[polygon], {})) {
        if (shell.insert(other).second) {
          open.push_back(other);
        }
      }
    }
  }
  return shell;
}

// How far the search across polygons looks: the widest half band (twice the
// edge width with open edges) and, with a channel chosen, where the mask
// falls below 1/256.
inline double reference_reach(const EdgeInstance &settings) {
  const bool channel = settings.out_channel >= 1 && settings.out_channel <= 7;
  const double widths[] = {0.0, settings.edge_width * 0.5,
                           settings.open_edge != 0 ? settings.edge_width * 2.0 : 0.0,
                           channel ? settings.out_width * std::log(256.0) : 0.0};
  double reach = 0.0;
  for (double w : widths) {
    reach = w > reach ? w : reach;  // a width that is not a number adds nothing
  }
  return reach;
}

// The query on the sample's polygon: the nearest edge (among those at the
// polygon's corners) whose foot point lies on it, or a distance of -1.0. An
// edge of length 0 has no foot point and is never taken. With cross_polygons,
// every edge of the polygon's shell within the reach is a candidate too,
// after those.
inline ReferenceHit reference_nearest_edge(const EdgeSnapshot &db, LWMeshInfo *mesh,
                                           const LWShaderAccess &access,
                                           const EdgeInstance &settings) {
  ReferenceHit hit;
  hit.searched = true;
  const int n = mesh->polSize(mesh, access.polygon);
  if (n < 3) {
    return hit;
  }
  const Vec3 spot = to_vec3(access.oPos);
  double best_distance = 1e20;
  std::optional<std::size_t> best;
  double best_t = 0.0;
  auto measure = [&](std::size_t k, double reach) {
    const Vec3 a = reference_base_position(mesh, db.edges[k].a);
    const Vec3 b = reference_base_position(mesh, db.edges[k].b);
    const Vec3 d = b - a;
    const double length = d.length();
    if (length == 0.0) {
      return;
    }
    const double t = (dot(d, spot) - dot(d, a)) / (length * length);
    const Vec3 q = a + t * d;
    const double distance = (q - spot).length();
    if (t >= 0.0 && t <= 1.0 && distance <= reach && distance < best_distance) {
      best = k;
      best_distance = distance;
      best_t = t;
    }
  };
  std::optional<std::uintptr_t> first_known;
  for (int i = 0; i < n; ++i) {
    const LWPntID corner = mesh->polVertex(mesh, access.polygon, i);
    const EdgeSnapshot::Point *p = reference_point(db, point_key(corner));
    if (p == nullptr) {
      continue;
    }
    if (!first_known) {
      first_known = p->key;
    }
    for (std::size_t k : p->edges) {
      measure(k, std::numeric_limits<double>::infinity());
    }
  }
  if (settings.cross_polygons != 0 && first_known) {
    const std::set<std::uintptr_t> shell = reference_shell(db, *first_known);
    for (std::size_t k = 0; k < db.edges.size(); ++k) {
      if (shell.count(db.edges[k].a) != 0) {
        measure(k, reference_reach(settings));
      }
    }
  }
  if (!best) {
    return hit;
  }
  const EdgeSnapshot::Edge &edge = db.edges[*best];
  Vec3 blended = edge.normal;
  if (settings.smooth_edge != 0) {
    const double c = std::cos(settings.smooth_cos);
    const Vec3 at_a = reference_end_normal(db, *best, edge.a, c);
    const Vec3 at_b = reference_end_normal(db, *best, edge.b, c);
    blended = (1.0 - best_t) * at_a + best_t * at_b;
  }
  hit.distance = best_distance;
  hit.is_open = edge.is_open;
  hit.normal = blended.normalize();
  const double widest = settings.edge_width * (settings.open_edge != 0 ? 2.0 : 0.5);
  if (settings.corner_blend == 0 || !(best_distance < widest)) {
    return hit;
  }
  // The other edges at the polygon's corners within the widest band, each
  // measured from its segment; one that is no side of the polygon and the
  // foot on whose line lies on an end (within 1e-6 of the distance, either
  // side) is seen end-on: left out, or, the nearest, bending alone.
  std::vector<std::uintptr_t> keys;
  for (int i = 0; i < n; ++i) {
    keys.push_back(point_key(mesh->polVertex(mesh, access.polygon, i)));
  }
  auto band_of = [&](std::size_t k, double distance, double t, bool &end_on) {
    const EdgeSnapshot::Edge &e = db.edges[k];
    const Vec3 a = reference_base_position(mesh, e.a), b = reference_base_position(mesh, e.b);
    const double line_t =
        (dot(b - a, spot) - dot(b - a, a)) / ((b - a).length() * (b - a).length());
    t = k == *best ? t : std::clamp(line_t, 0.0, 1.0);
    distance = k == *best ? distance : (a + t * (b - a) - spot).length();
    bool side = false;
    for (int i = 0; i < n; ++i) {
      side = side || std::minmax(keys[i], keys[(i + 1) % n]) == std::minmax(e.a, e.b);
    }
    end_on = !side && std::min(std::abs(line_t), std::abs(1.0 - line_t)) * (b - a).length() <=
                          1e-6 * distance;
    Vec3 normal = e.normal, corners[2];
    if (settings.smooth_edge != 0) {
      const double c = std::cos(settings.smooth_cos);
      normal =
          (1.0 - t) * reference_end_normal(db, k, e.a, c) + t * reference_end_normal(db, k, e.b, c);
    }
    for (int end = 0; end < 2; ++end) {
      const EdgeSnapshot::Point *p = reference_point(db, end == 0 ? e.a : e.b);
      for (std::size_t other : p != nullptr ? p->edges : std::vector<std::size_t>{}) {
        corners[end] = corners[end] + db.edges[other].normal;
      }
    }
    return ReferenceBand{distance,
                         normal.normalize(),
                         e.is_open,
                         {e.a, e.b},
                         {corners[0].normalize(), corners[1].normalize()}};
  };
  hit.bands.push_back(band_of(*best, best_distance, best_t, hit.end_on));
  std::vector<ReferenceBand> others;
  std::set<std::size_t> seen = {*best};
  for (int i = 0; i < n && best_distance < widest; ++i) {
    const EdgeSnapshot::Point *p = reference_point(db, keys[i]);
    for (std::size_t k : p != nullptr ? p->edges : std::vector<std::size_t>{}) {
      bool end_on = false;
      const EdgeSnapshot::Edge &e = db.edges[k];
      if (seen.insert(k).second &&
          (reference_base_position(mesh, e.b) - reference_base_position(mesh, e.a)).length() !=
              0.0) {
        const ReferenceBand other = band_of(k, 0.0, 0.0, end_on);
        if (other.distance < widest && !end_on) {
          others.push_back(other);
        }
      }
    }
  }
  // With cross_polygons, the rest of the shell's edges after those, in list order.
  std::set<std::uintptr_t> shell;
  if (settings.cross_polygons != 0 && first_known && best_distance < widest) {
    shell = reference_shell(db, *first_known);
  }
  for (std::size_t k = 0; k < db.edges.size(); ++k) {
    bool end_on = false;
    const EdgeSnapshot::Edge &e = db.edges[k];
    if (shell.count(e.a) != 0 && seen.insert(k).second &&
        (reference_base_position(mesh, e.b) - reference_base_position(mesh, e.a)).length() != 0.0) {
      const ReferenceBand other = band_of(k, 0.0, 0.0, end_on);
      if (other.distance < widest && !end_on) {
        others.push_back(other);
      }
    }
  }
  std::stable_sort(others.begin(), others.end(),
                   [](const auto &x, const auto &y) { return x.distance < y.distance; });
  hit.bands.insert(hit.bands.end(), others.begin(),
                   others.begin() + std::min<std::size_t>(others.size(), 3));
  if (others.empty()) {
    hit.bands.clear();  // the nearest alone: no blend
  }
  return hit;
}

// The channel field that out_channel names, or null.
inline double *reference_channel(LWShaderAccess &access, std::int32_t out_channel) {
  switch (out_channel) {
    case 1:
      return &access.luminous;
    case 2:
      return &access.diffuse;
    case 3:
      return &access.specular;
    case 4:
      return &access.mirror;
    case 5:
      return &access.transparency;
    case 6:
      return &access.translucency;
    case 7:
      return &access.bumpHeight;
    default:
      return nullptr;
  }
}

// Applies the evaluation to access, given what the query found. The caller
// has already checked what comes before the query (a polygon, a width above
// 0). A base-mesh edge normal goes to the world by wXfrm transposed (the
// inverse transpose of oXfrm), as the host's matrices require. No mask for
// an out_width not above 0; no normals for a zero edge or shading normal.
inline void reference_shade(const ReferenceHit &hit, const EdgeInstance &settings,
                            LWShaderAccess &access) {
  Vec3 u0 = to_vec3(access.wNorm0);
  Vec3 u1 = to_vec3(access.wNorm);
  u0.normalize();
  u1.normalize();
  const Vec3 offset = u1 - u0;
  const double d = hit.distance;
  double *const channel = reference_channel(access, settings.out_channel);
  if (!(d >= 0.0)) {
    // No edge in a database that was searched: a mask of 0, which only
    // out_mode 1 writes, for an out_width above 0.
    if (hit.searched && channel != nullptr && settings.out_width > 0.0 && settings.out_mode == 1 &&
        std::isfinite(*channel * 0.0)) {
      *channel = *channel * 0.0;
    }
    return;
  }
  auto world = [&](const Vec3 &e) {
    const double *m = access.wXfrm;
    return settings.use_deform != 0
               ? unit_vector(e)
               : Vec3{m[0] * e.x + m[3] * e.y + m[6] * e.z, m[1] * e.x + m[4] * e.y + m[7] * e.z,
                      m[2] * e.x + m[5] * e.y + m[8] * e.z}
                     .normalize();
  };
  auto open_band = [&](const Vec3 &toward) {
    Vec3 view = to_vec3(access.raySource) - to_vec3(access.wPos);
    view.normalize();
    const double c = dot(u1, view);
    const double m = c > 0.5 ? c : 0.5;
    const double e = dot(toward, view);
    const double w = e / m > 0.0 ? e / m : 0.0;
    return w * settings.edge_width;
  };
  const Vec3 toward = world(hit.normal);
  double band = settings.edge_width * 0.5;
  if (hit.is_open != 0) {
    band = open_band(toward);
    if (!(band > 0.0)) {
      return;
    }
  }
  if (channel != nullptr && settings.out_width > 0.0) {
    const double host = *channel;
    *channel = std::exp(-d / settings.out_width);
    // out_mode 1 multiplies the host's value by the mask, 2 by 1 - mask; a
    // product that is not finite leaves the host's value.
    if (settings.out_mode == 1 || settings.out_mode == 2) {
      const double product = host * (settings.out_mode == 1 ? *channel : 1.0 - *channel);
      *channel = std::isfinite(product) ? product : host;
    }
  }
  if (settings.disable_bevel != 0 || toward.length() == 0.0) {
    return;
  }
  double j = d / band;
  if (settings.round_edge != 0) {
    j = j > 1.0 ? 1.0 : (j < 0.0 ? 0.0 : j);
  } else {
    j = j > 1.0 ? 1.0 : 0.0;
  }
  Vec3 bent = j * u0 + (1.0 - j) * toward;
  // Corner blending: the bands' edges whose J is below 1 and whose normal
  // has a direction take part (the nearest always, but when seen end-on and
  // not alone); the bend is the sum over every set S of them of
  // prod(1 - J, in S) * prod(J, not in S) * N(S), N(S) being u0, the edge's
  // normal, the corner normal at an end all of S share, or their sum.
  std::vector<std::pair<double, Vec3>> parts;
  std::vector<const ReferenceBand *> of;
  for (const ReferenceBand &e : hit.bands) {
    const Vec3 w = &e == &hit.bands[0] ? toward : world(e.normal);
    const double b = &e == &hit.bands[0] ? band
                     : e.is_open != 0    ? open_band(w)
                                         : settings.edge_width * 0.5;
    const double ratio = e.distance / b;
    const double jk = !(b > 0.0) || ratio > 1.0  ? 1.0
                      : settings.round_edge == 0 ? 0.0
                                                 : std::max(ratio, 0.0);
    if (&e == &hit.bands[0] || (jk < 1.0 && std::isfinite(w.length()) && w.length() > 0.0)) {
      parts.push_back({&e == &hit.bands[0] ? j : jk, w});
      of.push_back(&e);
    }
  }
  const bool blend = parts.size() > 1;
  if (blend && hit.end_on) {
    parts[0] = parts.back(), of[0] = of.back();
    parts.pop_back(), of.pop_back();
  }
  for (unsigned set = 0; blend && set < (1u << parts.size()); ++set) {
    bent = set == 0 ? Vec3{} : bent;
    double weight = 1.0;
    Vec3 sum, normal = u0;
    std::vector<std::size_t> in;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const bool member = (set >> i & 1u) != 0;
      weight = weight * (member ? 1.0 - parts[i].first : parts[i].first);
      if (member) {
        in.push_back(i);
        sum = sum + parts[i].second;
        normal = in.size() == 1 ? parts[i].second : sum;
      }
    }
    for (int end = 1; in.size() > 1 && end >= 0; --end) {
      bool shared = of[in[0]]->ends[end] != 0;
      for (std::size_t i : in) {
        shared = shared &&
                 (of[i]->ends[0] == of[in[0]]->ends[end] || of[i]->ends[1] == of[in[0]]->ends[end]);
      }
      normal = shared ? world(of[in[0]]->corners[end]) : end == 1 ? sum.normalize() : normal;
    }
    bent = weight == 0.0 ? bent : bent + weight * normal;
  }
  Vec3 shading = bent + offset;
  if (shading.normalize().length() > 0.0) {
    store(bent, access.wNorm0);
    store(shading, access.wNorm);
  }
}

}  // namespace korv::testing
