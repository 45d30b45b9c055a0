#include "edges/vec3.h"

#include <cmath>

namespace korv {

Vec3 unit_vector(const Vec3 &v) {
  Vec3 u = v;
  return u.normalize();
}

Vec3 apply_mat3(const Vec3 &v, const double m[9]) {
  return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
          m[6] * v.x + m[7] * v.y + m[8] * v.z};
}

Vec3 apply_transposed_mat3(const Vec3 &v, const double m[9]) {
  return {m[0] * v.x + m[3] * v.y + m[6] * v.z, m[1] * v.x + m[4] * v.y + m[7] * v.z,
          m[2] * v.x + m[5] * v.y + m[8] * v.z};
}

}  // namespace korv
