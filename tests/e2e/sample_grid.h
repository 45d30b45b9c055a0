// Shading samples spread over a mesh's polygons, identical on every build:
// positions are fixed blends of a polygon's corners towards its centre,
// computed in double precision with nothing but +, -, *, / and sqrt, so that
// native and Windows builds hand the module the very same bits.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "host/mesh_service.h"
#include "hostapi/lwshader.h"

namespace korv::testing {

struct Point3 {
  double x = 0, y = 0, z = 0;
};

inline Point3 operator+(Point3 a, Point3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Point3 operator-(Point3 a, Point3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Point3 operator*(double s, Point3 a) {
  return {s * a.x, s * a.y, s * a.z};
}

inline Point3 unit_or_zero(Point3 a) {
  const double length = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  if (!(length > 0.0)) {
    return {};
  }
  return {a.x / length, a.y / length, a.z / length};
}

inline Point3 cross3(Point3 a, Point3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline void store(double out[3], Point3 p) {
  out[0] = p.x;
  out[1] = p.y;
  out[2] = p.z;
}

// A sample at position p of polygon index, with the unit geometric normal n,
// an interpolated normal tilted away from the centre c, and an eye above the
// polygon and off to one side. The object transform is the identity and the
// channels hold recognisable values.
inline LWShaderAccess make_sample(const host::SceneObject &object, std::size_t polygon, Point3 p,
                                  Point3 c, Point3 n, Point3 side) {
  LWShaderAccess a{};
  a.objID = object.id();
  a.polygon = host::polygon_id(polygon);
  store(a.oPos, p);
  store(a.wPos, p);
  store(a.raySource, p + 3.0 * n + 0.5 * side);
  a.wXfrm[0] = a.wXfrm[4] = a.wXfrm[8] = 1.0;
  store(a.wNorm0, n);
  store(a.wNorm, unit_or_zero(n + 0.25 * (p - c)));
  a.luminous = 0.125;
  a.diffuse = 0.25;
  a.specular = 0.375;
  a.mirror = 0.5;
  a.transparency = 0.625;
  a.translucency = 0.75;
  a.bumpHeight = 0.875;
  return a;
}

// Samples on at most max_polygons of the object's polygons (every k-th one
// when there are more): the centre, two points towards each corner and three
// towards each side, the closest well inside any usual edge band.
inline std::vector<LWShaderAccess> samples_over_mesh(const host::SceneObject &object,
                                                     std::size_t max_polygons) {
  const host::Mesh &mesh = object.mesh();
  const std::size_t count = mesh.polygon_count();
  const std::size_t stride =
      count > max_polygons && max_polygons > 0 ? (count + max_polygons - 1) / max_polygons : 1;
  std::vector<LWShaderAccess> samples;
  for (std::size_t i = 0; i < count; i += stride) {
    const auto polygon = mesh.polygon(i);
    const std::size_t n = polygon.size();
    if (n < 3) {
      continue;
    }
    std::vector<Point3> corners;
    for (std::uint32_t index : polygon) {
      const auto &q = mesh.points[index];
      corners.push_back({double(q[0]), double(q[1]), double(q[2])});
    }
    Point3 c;
    for (const Point3 &q : corners) {
      c = c + q;
    }
    c = (1.0 / double(n)) * c;
    const Point3 normal =
        unit_or_zero(cross3(corners[1] - corners[0], corners[n - 1] - corners[0]));
    const Point3 side = corners[0] - c;
    samples.push_back(make_sample(object, i, c, c, normal, side));
    for (std::size_t k = 0; k < n; ++k) {
      const Point3 a = corners[k];
      const Point3 b = corners[(k + 1) % n];
      for (double t : {0.9, 0.97}) {
        samples.push_back(make_sample(object, i, c + t * (a - c), c, normal, side));
      }
      const Point3 middle = 0.5 * (a + b);
      const Point3 third = (1.0 / 3.0) * (2.0 * a + b);
      for (auto [towards, t] : {std::pair{middle, 0.95}, {middle, 0.995}, {third, 0.99}}) {
        samples.push_back(make_sample(object, i, c + t * (towards - c), c, normal, side));
      }
    }
  }
  return samples;
}

}  // namespace korv::testing
