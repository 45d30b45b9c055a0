#include "host/builtin_meshes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace korv::host {

namespace {

struct P {
  double x, y, z;
};

// Adds a polygon through the given points, wound counter-clockwise seen from
// the side that outward points to.
void add_facing(Mesh &m, std::vector<std::uint32_t> corners, P outward) {
  double nx = 0, ny = 0, nz = 0;
  for (std::size_t i = 0; i < corners.size(); ++i) {
    const FloatPoint &a = m.points[corners[i]];
    const FloatPoint &b = m.points[corners[(i + 1) % corners.size()]];
    nx += (double(a[1]) - b[1]) * (double(a[2]) + b[2]);
    ny += (double(a[2]) - b[2]) * (double(a[0]) + b[0]);
    nz += (double(a[0]) - b[0]) * (double(a[1]) + b[1]);
  }
  if (nx * outward.x + ny * outward.y + nz * outward.z < 0.0) {
    std::reverse(corners.begin(), corners.end());
  }
  m.add_polygon(corners);
}

std::uint32_t add(Mesh &m, P p) {
  return m.add_point(p.x, p.y, p.z);
}

// An axis-aligned box [lo, hi] with its own eight points; open_top leaves
// out the +y face.
void add_box(Mesh &m, P lo, P hi, bool open_top = false) {
  std::uint32_t c[8];
  for (int i = 0; i < 8; ++i) {
    c[i] = add(m, {(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z});
  }
  add_facing(m, {c[0], c[2], c[3], c[1]}, {0, 0, -1});
  add_facing(m, {c[4], c[5], c[7], c[6]}, {0, 0, 1});
  add_facing(m, {c[0], c[1], c[5], c[4]}, {0, -1, 0});
  if (!open_top) {
    add_facing(m, {c[2], c[6], c[7], c[3]}, {0, 1, 0});
  }
  add_facing(m, {c[0], c[4], c[6], c[2]}, {-1, 0, 0});
  add_facing(m, {c[1], c[3], c[7], c[5]}, {1, 0, 0});
}

// A 2 x 2 x 2 cube centred on the origin, quads wound counter-clockwise seen
// from outside.
Mesh cube() {
  Mesh m;
  for (int i = 0; i < 8; ++i) {
    m.add_point((i & 1) ? 1 : -1, (i & 2) ? 1 : -1, (i & 4) ? 1 : -1);
  }
  m.add_polygon({0, 2, 3, 1});  // -z
  m.add_polygon({4, 5, 7, 6});  // +z
  m.add_polygon({0, 1, 5, 4});  // -y
  m.add_polygon({2, 6, 7, 3});  // +y
  m.add_polygon({0, 4, 6, 2});  // -x
  m.add_polygon({1, 3, 7, 5});  // +x
  return m;
}

// Four boxes, each with its own points, stacked and touching: the faces
// meet but share no points, so every box keeps all twelve of its edges.
Mesh boxes() {
  Mesh m;
  add_box(m, {-1.0, 0.0, -1.0}, {1.0, 0.5, 1.0});
  add_box(m, {-0.8, 0.5, -0.7}, {0.2, 1.3, 0.3});
  add_box(m, {0.2, 0.5, -0.2}, {0.9, 0.9, 0.6});
  add_box(m, {-0.6, 1.3, -0.5}, {0.0, 1.7, 0.1});
  return m;
}

// A box without its lid: the four rim edges border one polygon each.
Mesh panel() {
  Mesh m;
  add_box(m, {-1.0, -0.6, -1.0}, {1.0, 0.6, 1.0}, true);
  return m;
}

// A machined block: a lower tier with a raised upper tier welded on (the
// lower top is a frame of four quads around the upper tier's foot, so the
// step has concave edges as well as convex ones), and a round boss standing
// on the upper tier. Flat faces meeting at right angles show the band of a
// bevel clearly: a step gives a flat chamfer with a hard inner line, a ramp a
// soft rounded gradient.
Mesh machined() {
  Mesh m;
  const double x0 = -1.2, x1 = 1.2, z0 = -0.9, z1 = 0.9;  // lower tier
  const double u0 = -0.7, u1 = 0.5, w0 = -0.5, w1 = 0.5;  // upper tier
  const double y0 = 0.0, y1 = 0.5, y2 = 1.0;
  auto ring = [&](double a0, double a1, double b0, double b1, double y) {
    return std::vector<std::uint32_t>{add(m, {a0, y, b0}), add(m, {a1, y, b0}), add(m, {a1, y, b1}),
                                      add(m, {a0, y, b1})};
  };
  const auto bottom = ring(x0, x1, z0, z1, y0);
  const auto outer = ring(x0, x1, z0, z1, y1);
  const auto inner = ring(u0, u1, w0, w1, y1);
  const auto top = ring(u0, u1, w0, w1, y2);
  const P side[4] = {
      {0, 0, -1}, {1, 0, 0}, {0, 0, 1}, {-1, 0, 0}};  // side k runs from corner k to k+1

  add_facing(m, bottom, {0, -1, 0});
  for (int k = 0; k < 4; ++k) {
    const int n = (k + 1) % 4;
    add_facing(m, {bottom[k], bottom[n], outer[n], outer[k]}, side[k]);
    add_facing(m, {outer[k], outer[n], inner[n], inner[k]}, {0, 1, 0});
    add_facing(m, {inner[k], inner[n], top[n], top[k]}, side[k]);
  }
  add_facing(m, top, {0, 1, 0});

  // The boss: a 24-sided cylinder with its own points, standing on the upper
  // tier.
  constexpr int kSides = 24;
  constexpr double kPi = 3.14159265358979323846;
  const double cx = -0.1, cz = 0.0, r = 0.3, b0 = y2, b1 = 1.45;
  std::vector<std::uint32_t> low, high;
  for (int i = 0; i < kSides; ++i) {
    const double a = 2.0 * kPi * i / kSides;
    low.push_back(add(m, {cx + r * std::cos(a), b0, cz + r * std::sin(a)}));
    high.push_back(add(m, {cx + r * std::cos(a), b1, cz + r * std::sin(a)}));
  }
  for (int i = 0; i < kSides; ++i) {
    const int n = (i + 1) % kSides;
    const double a = 2.0 * kPi * (i + 0.5) / kSides;
    add_facing(m, {low[i], low[n], high[n], high[i]}, {std::cos(a), 0, std::sin(a)});
  }
  add_facing(m, low, {0, -1, 0});
  add_facing(m, high, {0, 1, 0});
  return m;
}

// In the order the names are listed: the plain cube first.
const std::vector<std::pair<std::string, Mesh (*)()>> &table() {
  static const std::vector<std::pair<std::string, Mesh (*)()>> meshes = {
      {"cube", cube}, {"boxes", boxes}, {"panel", panel}, {"machined", machined}};
  return meshes;
}

}  // namespace

bool builtin_mesh(const std::string &name, Mesh &mesh) {
  for (const auto &[known, make] : table()) {
    if (known == name) {
      mesh = make();
      return true;
    }
  }
  return false;
}

std::vector<std::string> builtin_mesh_names() {
  std::vector<std::string> names;
  for (const auto &entry : table()) {
    names.push_back(entry.first);
  }
  return names;
}

}  // namespace korv::host
