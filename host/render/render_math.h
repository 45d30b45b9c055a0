// The renderer's small vector and matrix types. Doubles throughout, so that
// the positions and normals handed to the shader carry no more rounding than
// the mesh's own float positions.
#pragma once

#include <array>
#include <cmath>

namespace korv::host::render {

struct V3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

inline V3 operator+(const V3 &a, const V3 &b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline V3 operator-(const V3 &a, const V3 &b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline V3 operator-(const V3 &a) {
  return {-a.x, -a.y, -a.z};
}
inline V3 operator*(double s, const V3 &v) {
  return {s * v.x, s * v.y, s * v.z};
}
inline V3 mul(const V3 &a, const V3 &b) {
  return {a.x * b.x, a.y * b.y, a.z * b.z};
}
inline double dot(const V3 &a, const V3 &b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline V3 cross(const V3 &a, const V3 &b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(const V3 &v) {
  return std::sqrt(dot(v, v));
}
// The unit vector along v, or (0, 0, 0) for a zero or non-finite length.
inline V3 normalized(const V3 &v) {
  const double len = length(v);
  if (!(len > 0.0) || !std::isfinite(len)) {
    return {};
  }
  return {v.x / len, v.y / len, v.z / len};
}
inline V3 lerp(const V3 &a, const V3 &b, double t) {
  return (1.0 - t) * a + t * b;
}
inline bool is_finite(const V3 &v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// A 3x3 matrix, nine doubles in row order: row i, column j at 3i + j, the
// layout of the shading record's wXfrm.
struct Mat3 {
  std::array<double, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};

  static Mat3 identity() { return {}; }
  // Rotation by angle (radians) about a unit axis, right-handed.
  static Mat3 rotation(const V3 &axis, double angle);

  V3 apply(const V3 &v) const {
    return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
            m[6] * v.x + m[7] * v.y + m[8] * v.z};
  }
  Mat3 transposed() const { return {{m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]}}; }
};

Mat3 operator*(const Mat3 &a, const Mat3 &b);

inline Mat3 Mat3::rotation(const V3 &axis, double angle) {
  const V3 a = normalized(axis);
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  const double t = 1.0 - c;
  return {{t * a.x * a.x + c, t * a.x * a.y - s * a.z, t * a.x * a.z + s * a.y,
           t * a.x * a.y + s * a.z, t * a.y * a.y + c, t * a.y * a.z - s * a.x,
           t * a.x * a.z - s * a.y, t * a.y * a.z + s * a.x, t * a.z * a.z + c}};
}

inline Mat3 operator*(const Mat3 &a, const Mat3 &b) {
  Mat3 r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      r.m[3 * i + j] =
          a.m[3 * i] * b.m[j] + a.m[3 * i + 1] * b.m[3 + j] + a.m[3 * i + 2] * b.m[6 + j];
    }
  }
  return r;
}

// Where an object stands in the world: world = rotation * object + translation.
struct Placement {
  Mat3 rotation;
  V3 translation;

  V3 to_world(const V3 &p) const { return rotation.apply(p) + translation; }
};

}  // namespace korv::host::render
