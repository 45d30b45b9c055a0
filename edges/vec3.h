// The working vector of all geometry: three doubles and free functions on them.
#pragma once

#include <cmath>

namespace korv {

struct Vec3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  // Inline, with dot, so that the query's distance loop can overlap the
  // square roots of neighbouring edges.
  double length() const { return std::sqrt(x * x + y * y + z * z); }

  // Divides each component by the length. A vector whose length is zero or
  // not finite becomes (0, 0, 0) instead: no division, and never a NaN. The
  // zero path also takes an infinite length: dividing by it would turn an
  // infinite component into NaN, and a normal of NaNs poisons every later
  // sample. Returns a copy of the changed vector. Inline: every shading
  // sample normalises several vectors.
  Vec3 normalize() {
    const double len = length();
    if (len != 0.0 && std::isfinite(len)) {
      x = x / len;
      y = y / len;
      z = z / len;
    } else {
      x = 0.0;
      y = 0.0;
      z = 0.0;
    }
    return *this;
  }
};

inline Vec3 operator+(const Vec3 &a, const Vec3 &b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(const Vec3 &a, const Vec3 &b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator*(double s, const Vec3 &v) {
  return {s * v.x, s * v.y, s * v.z};
}
inline bool operator==(const Vec3 &a, const Vec3 &b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

inline double dot(const Vec3 &a, const Vec3 &b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// a x b, the first argument on the left. Inline: the edge build takes one
// per polygon and two per judged edge.
inline Vec3 cross(const Vec3 &a, const Vec3 &b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// v divided by its length, or (0, 0, 0) when the length is zero or not finite.
Vec3 unit_vector(const Vec3 &v);

// m is a 3x3 matrix of nine doubles in row order; no translation, no normalisation.
Vec3 apply_mat3(const Vec3 &v, const double m[9]);

// The same with m transposed: column i of m times v for each component i. A
// normal goes from object to world by the world-to-object matrix transposed.
Vec3 apply_transposed_mat3(const Vec3 &v, const double m[9]);

inline Vec3 to_vec3(const double v[3]) {
  return {v[0], v[1], v[2]};
}
inline Vec3 to_vec3(const float v[3]) {
  return {double(v[0]), double(v[1]), double(v[2])};
}
inline void store(const Vec3 &v, double out[3]) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = v.z;
}

}  // namespace korv
