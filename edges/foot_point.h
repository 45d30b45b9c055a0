// The arithmetic of a spot's foot point on an edge's line, shared by every
// search of the nearest edge so that all of them measure an edge alike, to
// the last bit.
#pragma once

#include "edges/vec3.h"

namespace korv {

// The foot parameter t of p on the line through a and b, (D.p - D.a) / (L.L)
// with D = b - a and L = |D|; false, t unwritten, when L is exactly 0. L is
// the square root of D.D and then squared again: that is what the distance
// is defined with, and it is not always D.D to the last bit.
inline bool foot_parameter(const Vec3 &a, const Vec3 &d, const Vec3 &p, double &t) {
  const double length = d.length();
  if (length == 0.0) {
    return false;
  }
  t = (dot(d, p) - dot(d, a)) / (length * length);
  return true;
}

// |a + t.D - p| before its square root.
inline double squared_foot_distance(const Vec3 &a, const Vec3 &d, const Vec3 &p, double t) {
  const Vec3 q = a + t * d;
  const Vec3 r = q - p;
  return r.x * r.x + r.y * r.y + r.z * r.z;
}

}  // namespace korv
