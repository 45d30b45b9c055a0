// How the stand-in renderer lights a shading sample once the shader has had
// it: the surface's own channel values, two directional lights and a simple
// environment, all fixed to the camera so that a picture does not change
// when the object and the camera turn together.
#pragma once

#include "host/module_session.h"
#include "host/render/camera.h"
#include "host/render/render_math.h"
#include "hostapi/lwshader.h"

namespace korv::host::render {

// A checker texture in one channel, put there as a host's texture layer is,
// before the surface's shaders run: cubes of size metres in object space,
// the even ones keeping the surface's own value and the odd ones holding
// value. The cubes are shifted off the origin by a fraction of a cube so that
// a face modelled on a round coordinate does not lie on their border.
struct Checker {
  int channel = 0;  // an out_channel value (1 luminous ... 7 bumpHeight); 0: none
  double size = 0.25;
  double value = 0.3;
};

// The surface every polygon carries. The channel values go into the shading
// record as they are (the checker's channel as the checker has it); the
// shader may replace one of them.
struct Surface {
  V3 colour{0.60, 0.62, 0.66};  // linear
  double luminous = 0.0;
  double diffuse = 0.85;
  double specular = 0.35;
  double glossiness = 48.0;  // the highlight's exponent
  double mirror = 0.08;
  double transparency = 0.0;
  double translucency = 0.0;
  double bumpHeight = 0.0;
  double eta = 1.0;         // index of refraction
  double roughness = 0.25;  // for shaders; the lighting itself uses glossiness
  Checker checker;
};

// Puts the surface's colour and channel values into a shading record whose
// oPos is already set (the checker is looked up there).
void fill_channels(const Surface &surface, LWShaderAccess &access);

// The background seen through the picture point at height sy (0 top, 1
// bottom), linear.
V3 background(double sy);

// The linear colour of a lit sample. view points from the sample towards the
// eye; the record's wNorm is the shading normal. A normal that is not finite
// shows as magenta, so that a fault cannot pass unseen.
V3 shade(const Camera &camera, const Surface &surface, const LWShaderAccess &access,
         const V3 &face_normal, const V3 &view, double sy);

// Linear to display value (gamma 2.2), per component, clamped to 0..1.
V3 to_display(const V3 &linear);

}  // namespace korv::host::render
