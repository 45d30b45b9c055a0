#include "host/builtin_meshes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "host/cut_faces.h"

namespace korv::host {

namespace {

using P = Direction;

std::uint32_t add(Mesh &m, P p) {
  return m.add_point(p[0], p[1], p[2]);
}

// An axis-aligned box [lo, hi] with its own eight points; open_top leaves
// out the +y face.
void add_box(Mesh &m, P lo, P hi, bool open_top = false) {
  std::uint32_t c[8];
  for (int i = 0; i < 8; ++i) {
    c[i] = add(m, {(i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2]});
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
//
// The block's measures, shared with its support-looped form below.
constexpr double x0 = -1.2, x1 = 1.2, z0 = -0.9, z1 = 0.9;  // lower tier
constexpr double u0 = -0.7, u1 = 0.5, w0 = -0.5, w1 = 0.5;  // upper tier
constexpr double y0 = 0.0, y1 = 0.5, y2 = 1.0;
// The boss.
constexpr int kSides = 24;
constexpr double kPi = 3.14159265358979323846;
constexpr double cx = -0.1, cz = 0.0, r = 0.3, b0 = y2, b1 = 1.45;

Mesh machined() {
  Mesh m;
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

// The machined block as a model made for subdivision carries it: a support
// loop (an extra row of polygons) 2 cm from each sharp edge. The tiers' flat
// faces are cut along every loop line that crosses them, so the faces meet
// point for point; the boss keeps its own points, with a loop below each rim
// and a ring inside each cap.
Mesh loops() {
  constexpr double d = 0.02;
  Mesh m;
  CutFaces faces(m, {{{x0, x0 + d, u0 - d, u0, u0 + d, u1 - d, u1, u1 + d, x1 - d, x1},
                      {y0, y0 + d, y1 - d, y1, y1 + d, y2 - d, y2},
                      {z0, z0 + d, w0 - d, w0, w0 + d, w1 - d, w1, w1 + d, z1 - d, z1}}});
  // Axis 0 spans (y, z), axis 1 (z, x), axis 2 (x, y).
  faces.face(1, y0, z0, z1, x0, x1, {0, -1, 0});
  faces.face(1, y1, z0, z1, x0, x1, {0, 1, 0}, {w0, w1, u0, u1});
  faces.face(1, y2, w0, w1, u0, u1, {0, 1, 0});
  faces.face(2, z0, x0, x1, y0, y1, {0, 0, -1});
  faces.face(2, z1, x0, x1, y0, y1, {0, 0, 1});
  faces.face(0, x0, y0, y1, z0, z1, {-1, 0, 0});
  faces.face(0, x1, y0, y1, z0, z1, {1, 0, 0});
  faces.face(2, w0, u0, u1, y1, y2, {0, 0, -1});
  faces.face(2, w1, u0, u1, y1, y2, {0, 0, 1});
  faces.face(0, u0, y1, y2, w0, w1, {-1, 0, 0});
  faces.face(0, u1, y1, y2, w0, w1, {1, 0, 0});

  // The boss: rings from bottom to top, the caps' inner rings last.
  const double heights[4] = {b0, b0 + d, b1 - d, b1};
  std::vector<std::uint32_t> ring[6];
  for (int i = 0; i < kSides; ++i) {
    const double a = 2.0 * kPi * i / kSides;
    for (int k = 0; k < 4; ++k) {
      ring[k].push_back(add(m, {cx + r * std::cos(a), heights[k], cz + r * std::sin(a)}));
    }
    ring[4].push_back(add(m, {cx + (r - d) * std::cos(a), b0, cz + (r - d) * std::sin(a)}));
    ring[5].push_back(add(m, {cx + (r - d) * std::cos(a), b1, cz + (r - d) * std::sin(a)}));
  }
  for (int i = 0; i < kSides; ++i) {
    const int n = (i + 1) % kSides;
    const double a = 2.0 * kPi * (i + 0.5) / kSides;
    for (int k = 0; k < 3; ++k) {
      add_facing(m, {ring[k][i], ring[k][n], ring[k + 1][n], ring[k + 1][i]},
                 {std::cos(a), 0, std::sin(a)});
    }
    add_facing(m, {ring[0][i], ring[0][n], ring[4][n], ring[4][i]}, {0, -1, 0});
    add_facing(m, {ring[3][i], ring[3][n], ring[5][n], ring[5][i]}, {0, 1, 0});
  }
  add_facing(m, ring[4], {0, -1, 0});
  add_facing(m, ring[5], {0, 1, 0});
  return m;
}

// In the order the names are listed: the plain cube first.
const std::vector<std::pair<std::string, Mesh (*)()>> &table() {
  static const std::vector<std::pair<std::string, Mesh (*)()>> meshes = {
      {"cube", cube}, {"boxes", boxes}, {"panel", panel}, {"machined", machined}, {"loops", loops}};
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
