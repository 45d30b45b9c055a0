// A pinhole camera for the stand-in renderer.
#pragma once

#include "host/render/render_math.h"

namespace korv::host::render {

struct Camera {
  V3 eye;
  V3 forward{0, 0, -1};       // unit, into the picture
  V3 right{1, 0, 0};          // unit, to the right of the picture
  V3 up{0, 1, 0};             // unit, up the picture
  double tan_half_fov = 0.3;  // of the vertical field of view
  double aspect = 1.0;        // width / height

  // The unit direction of the ray through the picture point (sx, sy), both
  // from 0 to 1, (0, 0) the top-left corner.
  V3 ray_direction(double sx, double sy) const;

  // The same camera turned with an object about the origin, so that the
  // object's picture does not change.
  Camera rotated(const Mat3 &rotation) const;
};

// Frames the world box [lo, hi] from the front-right and above (a
// three-quarter view), with the whole box in the picture and a small margin.
Camera frame_three_quarter(const V3 &lo, const V3 &hi, int width, int height);

}  // namespace korv::host::render
