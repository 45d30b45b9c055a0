#include "host/render/camera.h"

#include <algorithm>
#include <cmath>

namespace korv::host::render {

V3 Camera::ray_direction(double sx, double sy) const {
  const double px = (2.0 * sx - 1.0) * tan_half_fov * aspect;
  const double py = (1.0 - 2.0 * sy) * tan_half_fov;
  return normalized(forward + px * right + py * up);
}

Camera Camera::rotated(const Mat3 &rotation) const {
  Camera c = *this;
  c.eye = rotation.apply(eye);
  c.forward = rotation.apply(forward);
  c.right = rotation.apply(right);
  c.up = rotation.apply(up);
  return c;
}

Camera frame_three_quarter(const V3 &lo, const V3 &hi, int width, int height) {
  constexpr double kPi = 3.14159265358979323846;
  Camera c;
  c.aspect = height > 0 ? double(width) / double(height) : 1.0;
  c.tan_half_fov = std::tan(0.5 * 32.0 * kPi / 180.0);

  const V3 centre = 0.5 * (lo + hi);
  // Front-right and somewhat above: three faces of a box show, each at a
  // different angle to the lights.
  const V3 towards_eye = normalized(V3{0.85, 0.7, 1.3});
  c.forward = -towards_eye;
  c.right = normalized(cross(c.forward, V3{0, 1, 0}));
  c.up = cross(c.right, c.forward);

  // The nearest distance from the centre at which every corner of the box
  // lies inside the picture, with a margin.
  constexpr double kMargin = 0.9;
  const double tan_x = c.tan_half_fov * c.aspect * kMargin;
  const double tan_y = c.tan_half_fov * kMargin;
  double distance = 0.0;
  for (int i = 0; i < 8; ++i) {
    const V3 corner{(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z};
    const V3 offset = corner - centre;
    const double towards = dot(offset, towards_eye);
    distance = std::max({distance, towards + std::abs(dot(offset, c.right)) / tan_x,
                         towards + std::abs(dot(offset, c.up)) / tan_y});
  }
  if (!(distance > 0.0) || !std::isfinite(distance)) {
    distance = 1.0 / c.tan_half_fov;
  }
  c.eye = centre + distance * towards_eye;
  return c;
}

}  // namespace korv::host::render
