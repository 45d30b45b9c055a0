#include "host/box_field.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace korv::host {

namespace {

constexpr std::uint32_t kNoPoint = 0xFFFFFFFFu;

// One face of the unit box: the axis it faces along, the side of the box
// (0 or the far side) and the two in-face axes u and v with u x v pointing
// outwards, so that corners taken (u, v) counter-clockwise face out.
struct Face {
  int axis;
  bool far;
  int u;
  int v;
};

constexpr std::array<Face, 6> kFaces = {{
    {2, false, 1, 0},  // -z: y x x = -z
    {2, true, 0, 1},   // +z, the lid: x x y = z
    {1, false, 0, 2},  // -y: x x z = -y
    {1, true, 2, 0},   // +y: z x x = y
    {0, false, 2, 1},  // -x: z x y = -x
    {0, true, 1, 2},   // +x: y x z = x
}};

bool has_lid(const BoxFieldOptions &options, std::size_t box) {
  return options.open_every == 0 || (box + 1) % options.open_every != 0;
}

}  // namespace

std::size_t box_field_polygon_count(const BoxFieldOptions &options) {
  const std::size_t s = std::size_t(std::max(options.subdivisions, 1));
  const std::size_t lidless = options.open_every == 0 ? 0 : options.boxes / options.open_every;
  return options.boxes * 6 * s * s - lidless * s * s;
}

Mesh box_field(const BoxFieldOptions &options) {
  const int s = std::max(options.subdivisions, 1);
  const std::size_t side = std::max<std::size_t>(
      1, static_cast<std::size_t>(std::ceil(std::sqrt(double(options.boxes)))));
  Mesh mesh;
  mesh.points.reserve(options.boxes * std::size_t(6 * s * s + 2));
  mesh.corners.reserve(box_field_polygon_count(options) * 4);
  mesh.polygon_start.reserve(box_field_polygon_count(options) + 1);

  // Lattice index of the box's point at (a, b, c), each from 0 to s.
  const int n = s + 1;
  std::vector<std::uint32_t> lattice(std::size_t(n * n * n));
  for (std::size_t box = 0; box < options.boxes; ++box) {
    std::fill(lattice.begin(), lattice.end(), kNoPoint);
    const double x0 = 1.5 * double(box % side);
    const double y0 = 1.5 * double(box / side);
    auto point_at = [&](const std::array<int, 3> &c) {
      std::uint32_t &slot = lattice[std::size_t((c[0] * n + c[1]) * n + c[2])];
      if (slot == kNoPoint) {
        slot = mesh.add_point(x0 + double(c[0]) / s, y0 + double(c[1]) / s, double(c[2]) / s);
      }
      return slot;
    };
    for (std::size_t f = 0; f < kFaces.size(); ++f) {
      const Face &face = kFaces[f];
      if (f == 1 && !has_lid(options, box)) {
        continue;
      }
      for (int j = 0; j < s; ++j) {
        for (int i = 0; i < s; ++i) {
          std::array<std::uint32_t, 4> quad{};
          const int du[4] = {0, 1, 1, 0};
          const int dv[4] = {0, 0, 1, 1};
          for (int k = 0; k < 4; ++k) {
            std::array<int, 3> c{};
            c[std::size_t(face.axis)] = face.far ? s : 0;
            c[std::size_t(face.u)] = i + du[k];
            c[std::size_t(face.v)] = j + dv[k];
            quad[std::size_t(k)] = point_at(c);
          }
          mesh.add_polygon(quad);
        }
      }
    }
  }
  return mesh;
}

Mesh box_field_with_polygons(std::size_t polygons) {
  BoxFieldOptions options;
  const std::size_t s = std::size_t(options.subdivisions);
  options.boxes = std::max<std::size_t>(1, polygons / (6 * s * s));
  return box_field(options);
}

}  // namespace korv::host
