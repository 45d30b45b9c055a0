// Meshes made on the spot for tests, the same on every build: coordinates
// come from integer arithmetic and exact binary fractions only.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "host/box_field.h"
#include "host/cut_faces.h"
#include "host/mesh.h"

namespace korv::testing {

// A small deterministic generator (64-bit linear congruential, top bits).
class Lcg {
 public:
  explicit Lcg(std::uint64_t seed) : state_(seed) {}
  // A whole number in [0, n).
  std::uint32_t below(std::uint32_t n) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return std::uint32_t((state_ >> 33) % n);
  }

 private:
  std::uint64_t state_;
};

// An n x n grid of unit quads whose heights are random multiples of 1/16 in
// [0, 1): dihedral angles of every size, many near any threshold. Its border
// sides are open edges.
inline host::Mesh bumpy_grid(std::uint32_t n, std::uint64_t seed) {
  host::Mesh mesh;
  Lcg random(seed);
  for (std::uint32_t j = 0; j <= n; ++j) {
    for (std::uint32_t i = 0; i <= n; ++i) {
      mesh.add_point(i, j, random.below(16) / 16.0);
    }
  }
  for (std::uint32_t j = 0; j < n; ++j) {
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint32_t a = j * (n + 1) + i;
      mesh.add_polygon({a, a + 1, a + n + 2, a + n + 1});
    }
  }
  return mesh;
}

// The same grid with every height shifted by a random multiple of 1/32, as
// the deformed positions.
inline host::Mesh deformed_bumpy_grid(std::uint32_t n, std::uint64_t seed) {
  host::Mesh mesh = bumpy_grid(n, seed);
  Lcg random(seed ^ 0x5bd1e995u);
  for (const auto &p : mesh.points) {
    mesh.deformed.push_back({p[0], p[1], p[2] + random.below(8) / 32.0f});
  }
  return mesh;
}

// One polygon that visits a hub between every two of k rim points,
// [h, x1, h, x2, ..., h, xk], and its reversed copy, as a double-sided
// model has it: every side is sharp, and the hub has 2k uses.
inline host::Mesh hub_polygon_fan(std::uint32_t k) {
  host::Mesh m;
  const std::uint32_t hub = m.add_point(0, 0, 0);
  std::vector<std::uint32_t> corners;
  for (std::uint32_t i = 0; i < k; ++i) {
    corners.push_back(hub);
    corners.push_back(m.add_point(i % 7, i / 7 + 1, i % 3));
  }
  m.add_polygon(corners);
  m.add_polygon(std::vector<std::uint32_t>(corners.rbegin(), corners.rend()));
  return m;
}

// k x k triangles (X_i, Y_j, c_ij) on 2k hub points: each side X_i-Y_j has
// ends of k polygons each that share only its own. With `apart`, quads
// (X_i, d, Y_j, e) hold both hubs of every third side apart, and one
// polygon holds every hub. With `shared` hubs Z_s, the polygons are
// (X_i, Y_j, Z_1 .. Z_shared) instead.
inline host::Mesh hub_grid(std::uint32_t k, bool apart = false, std::uint32_t shared = 0) {
  host::Mesh m;
  for (std::uint32_t i = 0; i < 2 * k + shared; ++i) {
    m.add_point(i < k ? i : 0, i < k ? 0 : i - k, i < 2 * k ? 1 : 2 + i % 2);
  }
  std::vector<std::uint32_t> all;
  for (std::uint32_t i = 0; i < k; ++i) {
    all.push_back(i);
    all.push_back(k + (i * 5) % k);
    for (std::uint32_t j = 0; j < k; ++j) {
      std::vector<std::uint32_t> p{i, k + j, shared == 0 ? m.add_point(i, j, j % 2) : 2 * k};
      for (std::uint32_t s = 1; s < shared; ++s) {
        p.push_back(2 * k + s);
      }
      m.add_polygon(p);
      if (apart && (i + j) % 3 == 0) {
        m.add_polygon({i, m.add_point(i, j, 2), k + j, m.add_point(i + 1, j, 3)});
      }
    }
  }
  if (apart) {
    m.add_polygon(all);
  }
  return m;
}

// Closed boxes, then ten times their corners in separate quads (foliage
// cards), each of points of its own.
inline host::Mesh boxes_then_cards(std::size_t boxes) {
  host::BoxFieldOptions options;
  options.boxes = boxes;
  options.subdivisions = 1;
  options.open_every = 0;
  host::Mesh m = host::box_field(options);
  for (std::size_t i = 0, cards = 10 * m.corners.size() / 4; i < cards; ++i) {
    const double x = double(i % 1000), y = double(i / 1000) + 1000.0;
    const std::uint32_t a = m.add_point(x, y, 0), b = m.add_point(x + 0.5, y, 0);
    m.add_polygon({a, b, m.add_point(x + 0.5, y, 0.5), m.add_point(x, y, 0.5)});
  }
  return m;
}

// A closed prism over a regular-ish polygon of `sides` corners (integer
// coordinates on a circle of radius 64), with two n-gon caps and quad walls,
// one wall split into two triangles.
inline host::Mesh prism(std::uint32_t sides) {
  static constexpr int kCircle[][2] = {{64, 0},    {55, 32},  {32, 55},  {0, 64},
                                       {-32, 55},  {-55, 32}, {-64, 0},  {-55, -32},
                                       {-32, -55}, {0, -64},  {32, -55}, {55, -32}};
  const std::uint32_t n = sides < 3 ? 3 : (sides > 12 ? 12 : sides);
  const std::uint32_t step = 12 / n;
  host::Mesh mesh;
  for (std::uint32_t k = 0; k < n; ++k) {
    mesh.add_point(kCircle[k * step][0], kCircle[k * step][1], 0);
    mesh.add_point(kCircle[k * step][0], kCircle[k * step][1], 48);
  }
  std::vector<std::uint32_t> bottom, top;
  for (std::uint32_t k = 0; k < n; ++k) {
    bottom.push_back(2 * (n - 1 - k));
    top.push_back(2 * k + 1);
  }
  mesh.add_polygon(bottom);
  mesh.add_polygon(top);
  for (std::uint32_t k = 0; k < n; ++k) {
    const std::uint32_t a = 2 * k, b = 2 * ((k + 1) % n);
    if (k == 0) {
      mesh.add_polygon({a, b, b + 1});
      mesh.add_polygon({a, b + 1, a + 1});
    } else {
      mesh.add_polygon({a, b, b + 1, a + 1});
    }
  }
  return mesh;
}

// A box [lo, hi] (2 x 1.4 x 1.2 by default) with a support loop at each of
// the distances from every edge; evenly spaced distances subdivide it.
inline host::Mesh looped_box(const std::vector<double> &loops,
                             host::Direction lo = {-1.0, -0.7, -0.6},
                             host::Direction hi = {1.0, 0.7, 0.6}) {
  host::Mesh m;
  host::CutFaces(m, host::loop_cuts(lo, hi, loops)).box(lo, hi);
  return m;
}

// The box with loops at 4 cm and a small box of its own points (a bolt)
// floating 1 cm above its top face: two shells close to each other.
inline host::Mesh box_and_bolt() {
  host::Mesh m = looped_box({0.04});
  const host::Direction lo = {-0.25, 0.71, -0.25}, hi = {0.25, 0.9, 0.25};
  host::CutFaces(m, host::loop_cuts(lo, hi, {})).box(lo, hi);
  return m;
}

// An L-shaped prism: one inside (concave) edge, where the L turns, and 17
// outside ones. The caps are L-shaped hexagons whose corner 0 is not the
// turning corner. With `flip`, the wall along y = 0 is wound the other way.
inline host::Mesh l_prism(bool flip = false) {
  host::Mesh m;
  const double xy[6][2] = {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}};
  std::vector<std::uint32_t> low, high;
  for (const auto &p : xy) {
    low.push_back(m.add_point(p[0], p[1], 0));
    high.push_back(m.add_point(p[0], p[1], 1));
  }
  host::add_facing(m, low, {0, 0, -1});
  host::add_facing(m, high, {0, 0, 1});
  for (std::size_t k = 0; k < 6; ++k) {
    const std::size_t n = (k + 1) % 6;
    const double out[2] = {xy[n][1] - xy[k][1], xy[k][0] - xy[n][0]};
    const double sign = flip && k == 0 ? -1.0 : 1.0;
    host::add_facing(m, {low[k], low[n], high[n], high[k]}, {sign * out[0], sign * out[1], 0});
  }
  return m;
}

// A 2 x 2 x 1 block with a 1 x 1 pocket half as deep in its top: the
// pocket's floor and corners are inside (concave) edges, its rim and the
// block's edges outside ones.
inline host::Mesh pocketed_block() {
  host::Mesh m;
  host::CutFaces f(m, {{{-1, -0.5, 0.5, 1}, {-1, -0.5, 0.5, 1}, {0, 0.5, 1}}});
  f.face(2, 0, -1, 1, -1, 1, {0, 0, -1});
  f.face(2, 1, -1, 1, -1, 1, {0, 0, 1}, {-0.5, 0.5, -0.5, 0.5});
  f.face(2, 0.5, -0.5, 0.5, -0.5, 0.5, {0, 0, 1});
  // Axis 0 spans (y, z), axis 1 (z, x). The outer walls, then the pocket's
  // walls facing into it.
  f.face(0, -1, -1, 1, 0, 1, {-1, 0, 0});
  f.face(0, 1, -1, 1, 0, 1, {1, 0, 0});
  f.face(1, -1, 0, 1, -1, 1, {0, -1, 0});
  f.face(1, 1, 0, 1, -1, 1, {0, 1, 0});
  f.face(0, -0.5, -0.5, 0.5, 0.5, 1, {1, 0, 0});
  f.face(0, 0.5, -0.5, 0.5, 0.5, 1, {-1, 0, 0});
  f.face(1, -0.5, 0.5, 1, -0.5, 0.5, {0, 1, 0});
  f.face(1, 0.5, 0.5, 1, -0.5, 0.5, {0, -1, 0});
  return m;
}

// Meshes that once made a sample's cost grow with the mesh (benchmarked at
// two sizes, compared with the reference in the tables):

// A fan written as one polygon [h, x1, h, x2, ..., h, xk] with its reversed
// copy, as a double-sided model has it: each polygon visits the hub k times,
// and every side is a sharp edge at the hub.
inline host::Mesh fan_polygon(std::uint32_t k) {
  host::Mesh m;
  const std::uint32_t hub = m.add_point(0, 0, 0);
  std::vector<std::uint32_t> corners;
  for (std::uint32_t i = 0; i < k; ++i) {
    corners.push_back(hub);
    corners.push_back(m.add_point(double(i) - k / 2.0, 16 + (i % 3), 0));
  }
  m.add_polygon(corners);
  m.add_polygon(std::vector<std::uint32_t>(corners.rbegin(), corners.rend()));
  return m;
}

// A corrugated sheet: `ridges` sharp ridges 1/4 apart and 1/2 high, each one
// edge as long as the sheet is wide. turned: turned 45 degrees about z (and
// scaled by sqrt 2, so that every coordinate stays exact).
inline host::Mesh corrugated_sheet(std::uint32_t ridges, bool turned) {
  host::Mesh m;
  const double length = ridges / 4.0;
  for (std::uint32_t j = 0; j <= ridges; ++j) {
    for (const double y : {0.0, length}) {
      const double x = j / 4.0;
      m.add_point(turned ? x - y : x, turned ? x + y : y, (j % 2) / 2.0);
    }
  }
  for (std::uint32_t j = 0; j < ridges; ++j) {
    m.add_polygon({2 * j, 2 * j + 2, 2 * j + 3, 2 * j + 1});
  }
  return m;
}

// A tetrahedron of sharp edges 2^40 away, as a stray point or a far shell.
inline void add_far_shell(host::Mesh &m) {
  const double far = 1099511627776.0;
  const std::uint32_t a = m.add_point(far, 0, 0), b = m.add_point(far + 1, 0, 0),
                      c = m.add_point(far, 1, 0), d = m.add_point(far, 0, 1);
  m.add_polygon({a, c, b});
  m.add_polygon({a, b, d});
  m.add_polygon({b, c, d});
  m.add_polygon({c, a, d});
}

// A prism over a parabolic arch of `sides` corners (sides even): two large
// convex caps whose rims are sharp, and smooth walls, listed from the last.
// caps_last: the top cap comes after the walls, which then record its rim's
// edges in the other order than the cap's corners.
inline host::Mesh arch_prism(std::uint32_t sides, bool caps_last = false) {
  host::Mesh m;
  std::vector<std::uint32_t> bottom, top;
  for (std::uint32_t i = 0; i < sides; ++i) {
    const double x = double(i) - sides / 2.0;
    bottom.push_back(m.add_point(x, x * x / sides, 0));
    top.push_back(m.add_point(x, x * x / sides, 1));
  }
  if (!caps_last) {
    m.add_polygon(top);
  }
  m.add_polygon(std::vector<std::uint32_t>(bottom.rbegin(), bottom.rend()));
  for (std::uint32_t i = sides; i-- > 0;) {
    const std::uint32_t j = (i + 1) % sides;
    m.add_polygon({bottom[i], bottom[j], top[j], top[i]});
  }
  if (caps_last) {
    m.add_polygon(top);
  }
  return m;
}

// A star: k triangles around one point (their second corner), folded to
// and fro so that every side at the centre is sharp.
inline host::Mesh folded_star(std::uint32_t k) {
  host::Mesh m;
  const std::uint32_t centre = m.add_point(0, 0, 0);
  std::vector<std::uint32_t> rim;
  for (std::uint32_t i = 0; i <= k; ++i) {
    rim.push_back(m.add_point(double(i) - k / 2.0, k, (i % 2) * 2.0));
  }
  for (std::uint32_t i = 0; i < k; ++i) {
    m.add_polygon({rim[i], centre, rim[i + 1]});
  }
  return m;
}

}  // namespace korv::testing
