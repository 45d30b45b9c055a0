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
#include "shader/edge_shader_instance.h"
#include "tests/reference/edge_reference.h"

namespace korv::testing {

// Another edge whose band may hold the sample, for blending corners.
struct ReferenceBand {
  double distance = 0.0;
  Vec3 normal;
  std::int32_t is_open = 0;
  std::uintptr_t a = 0, b = 0;
  Vec3 corner_a, corner_b;  // the normalised sum of every edge normal at a, at b
  bool end_on = false;      // the nearest edge, seen end-on: it bends alone
};

struct ReferenceHit {
  double distance = -1.0;
  Vec3 normal;
  std::int32_t is_open = 0;
  bool searched = false;  // a database was searched, whatever it found
  // With corner_blend: the nearest edge, then up to three more, nearest first.
  std::vector<ReferenceBand> bands = {};
};

inline Vec3 reference_corner_normal(const EdgeSnapshot &db, std::uintptr_t key);

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
inline double reference_reach(const EdgeShaderInstance &settings) {
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
                                           const EdgeShaderInstance &settings) {
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
  if (settings.corner_blend == 0 || n > 64) {
    return hit;
  }
  // Every other edge at the polygon's corners whose foot point lies on it,
  // within the widest band, and not seen end-on (its foot on an end while the
  // sample lies away from it).
  auto band_of = [&](std::size_t k, double distance, Vec3 normal) {
    const EdgeSnapshot::Edge &e = db.edges[k];
    return ReferenceBand{distance,
                         normal,
                         e.is_open,
                         e.a,
                         e.b,
                         reference_corner_normal(db, e.a),
                         reference_corner_normal(db, e.b)};
  };
  hit.bands.push_back(band_of(*best, best_distance, hit.normal));
  {
    const Vec3 a = reference_base_position(mesh, edge.a);
    const Vec3 b = reference_base_position(mesh, edge.b);
    const double from_end = std::min(std::abs(best_t), std::abs(1.0 - best_t)) * (b - a).length();
    bool side = false;
    for (int i = 0; i < n; ++i) {
      const std::uintptr_t p = point_key(mesh->polVertex(mesh, access.polygon, i));
      const std::uintptr_t q = point_key(mesh->polVertex(mesh, access.polygon, (i + 1) % n));
      side = side || (p == edge.a && q == edge.b) || (p == edge.b && q == edge.a);
    }
    hit.bands[0].end_on = !side && from_end <= 1e-6 * best_distance;
  }
  const double widest =
      settings.open_edge != 0 ? settings.edge_width * 2.0 : settings.edge_width * 0.5;
  if (!(best_distance < widest)) {
    return hit;
  }
  std::vector<std::pair<double, std::size_t>> others;
  std::vector<double> others_t(db.edges.size(), 0.0);
  std::set<std::size_t> seen = {*best};
  // The sides of the polygon: pairs of points of consecutive corners.
  std::vector<std::uintptr_t> keys;
  for (int i = 0; i < n; ++i) {
    keys.push_back(point_key(mesh->polVertex(mesh, access.polygon, i)));
  }
  std::set<std::pair<std::uintptr_t, std::uintptr_t>> sides;
  for (int i = 0; i < n; ++i) {
    sides.insert({keys[i], keys[(i + 1) % n]});
    sides.insert({keys[(i + 1) % n], keys[i]});
  }
  for (int i = 0; i < n; ++i) {
    const EdgeSnapshot::Point *p = reference_point(db, keys[i]);
    for (std::size_t k : p != nullptr ? p->edges : std::vector<std::size_t>{}) {
      if (!seen.insert(k).second) {
        continue;
      }
      const Vec3 a = reference_base_position(mesh, db.edges[k].a);
      const Vec3 b = reference_base_position(mesh, db.edges[k].b);
      const double length = (b - a).length();
      if (length == 0.0) {
        continue;
      }
      const double line_t = (dot(b - a, spot) - dot(b - a, a)) / (length * length);
      if (std::isnan(line_t)) {
        continue;
      }
      // Every band goes on round its edge's ends; an edge that is no side
      // of the polygon and whose line's foot lies on one of its ends (either
      // side, within a millionth of the distance) is seen end-on and left out.
      const bool side = sides.count({db.edges[k].a, db.edges[k].b}) != 0;
      const double t = std::clamp(line_t, 0.0, 1.0);
      const double distance = (a + t * (b - a) - spot).length();
      const double from_end = std::min(std::abs(line_t), std::abs(1.0 - line_t)) * length;
      if (distance < widest && (side || !(from_end <= 1e-6 * distance))) {
        others.push_back({distance, k});
        others_t[k] = t;
      }
    }
  }
  std::stable_sort(others.begin(), others.end(),
                   [](const auto &x, const auto &y) { return x.first < y.first; });
  for (std::size_t i = 0; i < others.size() && i < 3; ++i) {
    const std::size_t k = others[i].second;
    const EdgeSnapshot::Edge &e = db.edges[k];
    Vec3 normal = e.normal;
    if (settings.smooth_edge != 0) {
      const double c = std::cos(settings.smooth_cos);
      normal = (1.0 - others_t[k]) * reference_end_normal(db, k, e.a, c) +
               others_t[k] * reference_end_normal(db, k, e.b, c);
    }
    hit.bands.push_back(band_of(k, others[i].first, normal.normalize()));
  }
  return hit;
}

inline Vec3 reference_corner_normal(const EdgeSnapshot &db, std::uintptr_t key) {
  Vec3 sum;
  if (const EdgeSnapshot::Point *p = reference_point(db, key)) {
    for (std::size_t k : p->edges) {
      sum = sum + db.edges[k].normal;
    }
  }
  return sum.normalize();
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
inline void reference_shade(const ReferenceHit &hit, const EdgeShaderInstance &settings,
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
  Vec3 toward;
  if (settings.use_deform != 0) {
    toward = unit_vector(hit.normal);
  } else {
    const double *m = access.wXfrm;
    const Vec3 e = hit.normal;
    toward = Vec3{m[0] * e.x + m[3] * e.y + m[6] * e.z, m[1] * e.x + m[4] * e.y + m[7] * e.z,
                  m[2] * e.x + m[5] * e.y + m[8] * e.z};
    toward.normalize();
  }
  double band = settings.edge_width * 0.5;
  if (hit.is_open != 0) {
    Vec3 view = to_vec3(access.raySource) - to_vec3(access.wPos);
    view.normalize();
    const double c = dot(u1, view);
    const double m = c > 0.5 ? c : 0.5;
    const double e = dot(toward, view);
    const double w = e / m > 0.0 ? e / m : 0.0;
    band = w * settings.edge_width;
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
  // Corner blending: every band edge with a ramp parameter below 1 and a
  // normal takes part; the bend is the sum over every set S of them of
  // prod(1 - J, in S) * prod(J, not in S) * N(S).
  struct Part {
    double j;
    Vec3 toward;
    const ReferenceBand *band;
  };
  std::vector<Part> parts;
  auto world = [&](const Vec3 &e) {
    if (settings.use_deform != 0) {
      return unit_vector(e);
    }
    const double *m = access.wXfrm;
    return Vec3{m[0] * e.x + m[3] * e.y + m[6] * e.z, m[1] * e.x + m[4] * e.y + m[7] * e.z,
                m[2] * e.x + m[5] * e.y + m[8] * e.z}
        .normalize();
  };
  for (std::size_t k = 0; k < hit.bands.size(); ++k) {
    const ReferenceBand &other = hit.bands[k];
    const Vec3 w = k == 0 ? toward : world(other.normal);
    double b = k == 0 ? band : settings.edge_width * 0.5;
    if (k > 0 && other.is_open != 0) {
      Vec3 view = to_vec3(access.raySource) - to_vec3(access.wPos);
      view.normalize();
      const double c = dot(u1, view);
      const double e = dot(w, view);
      const double q = e / (c > 0.5 ? c : 0.5);
      b = (q > 0.0 ? q : 0.0) * settings.edge_width;
    }
    double jk = 1.0;
    if (b > 0.0) {
      const double ratio = other.distance / b;
      if (settings.round_edge != 0) {
        jk = ratio > 1.0 ? 1.0 : (ratio < 0.0 ? 0.0 : ratio);
      } else {
        jk = ratio > 1.0 ? 1.0 : 0.0;
      }
    }
    const bool finite = std::isfinite(w.x) && std::isfinite(w.y) && std::isfinite(w.z);
    if (k == 0 || (jk < 1.0 && finite && w.length() > 0.0)) {
      parts.push_back({k == 0 ? j : jk, w, &other});
    }
  }
  if (parts.size() > 1) {
    // A nearest edge seen end-on bends the sample only where no other does.
    if (hit.bands[0].end_on) {
      parts[0] = parts.back();
      parts.pop_back();
    }
    bent = Vec3{};
    for (unsigned set = 0; set < (1u << parts.size()); ++set) {
      double weight = 1.0;
      std::vector<const Part *> in;
      for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool member = (set >> i & 1u) != 0;
        weight = weight * (member ? 1.0 - parts[i].j : parts[i].j);
        if (member) {
          in.push_back(&parts[i]);
        }
      }
      if (weight == 0.0) {
        continue;
      }
      Vec3 normal = u0;
      if (in.size() == 1) {
        normal = in[0]->toward;
      } else if (in.size() > 1) {
        // The corner normal at an end every edge of the set shares, else the
        // normalised sum of their normals.
        Vec3 sum;
        for (const Part *part : in) {
          sum = sum + part->toward;
        }
        normal = sum.normalize();
        for (int end = 1; end >= 0; --end) {
          const std::uintptr_t point = end == 0 ? in[0]->band->a : in[0]->band->b;
          bool shared = point != 0;
          for (const Part *part : in) {
            shared = shared && (part->band->a == point || part->band->b == point);
          }
          if (shared) {
            normal = world(end == 0 ? in[0]->band->corner_a : in[0]->band->corner_b);
          }
        }
      }
      bent = bent + weight * normal;
    }
  }
  Vec3 shading = bent + offset;
  if (shading.normalize().length() > 0.0) {
    store(bent, access.wNorm0);
    store(shading, access.wNorm);
  }
}

}  // namespace korv::testing
