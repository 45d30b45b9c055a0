#include "host/render/surface.h"

#include <algorithm>
#include <cmath>

namespace korv::host::render {

namespace {

constexpr V3 kMagenta{1.0, 0.0, 1.0};

struct Light {
  V3 direction;  // unit, from the surface towards the light
  V3 colour;
};

// A warm key light from the upper left and a cool fill from the right.
void lights(const Camera &camera, Light out[2]) {
  const V3 back = -camera.forward;
  out[0] = {normalized(-0.55 * camera.right + 0.8 * camera.up + 0.5 * back), {1.0, 0.95, 0.88}};
  out[1] = {normalized(0.9 * camera.right + 0.15 * camera.up + 0.35 * back), {0.30, 0.36, 0.46}};
}

V3 environment(const Camera &camera, const V3 &direction) {
  const double e = std::clamp(dot(direction, camera.up), -1.0, 1.0);
  const V3 ground{0.10, 0.09, 0.08};
  const V3 sky{0.55, 0.65, 0.85};
  return lerp(ground, sky, 0.5 + 0.5 * e);
}

double srgb_to_linear(double v) {
  return std::pow(v, 2.2);
}

}  // namespace

void fill_channels(const Surface &surface, LWShaderAccess &access) {
  access.color[0] = surface.colour.x;
  access.color[1] = surface.colour.y;
  access.color[2] = surface.colour.z;
  access.luminous = surface.luminous;
  access.diffuse = surface.diffuse;
  access.specular = surface.specular;
  access.mirror = surface.mirror;
  access.transparency = surface.transparency;
  access.translucency = surface.translucency;
  access.bumpHeight = surface.bumpHeight;
  access.eta = surface.eta;
  access.roughness = surface.roughness;
  access.colorHL = 0.0;  // highlights take the lights' colour
  access.colorFL = 0.0;  // what shows through is not tinted
  access.addTransparency = 0.0;
  access.difSharpness = 0.0;
  const Checker &checker = surface.checker;
  double *textured = channel_field(access, checker.channel);
  if (textured != nullptr && checker.size > 0.0) {
    double cube = 0.0;  // a whole number as long as the positions are finite
    for (double p : access.oPos) {
      cube += std::floor(p / checker.size + 0.37);
    }
    if (std::fmod(cube, 2.0) != 0.0) {
      *textured = checker.value;
    }
  }
}

V3 background(double sy) {
  const V3 top{0.30, 0.33, 0.38};
  const V3 bottom{0.13, 0.14, 0.16};
  const V3 display = lerp(top, bottom, std::clamp(sy, 0.0, 1.0));
  return {srgb_to_linear(display.x), srgb_to_linear(display.y), srgb_to_linear(display.z)};
}

V3 shade(const Camera &camera, const Surface &surface, const LWShaderAccess &access,
         const V3 &face_normal, const V3 &view, double sy) {
  const V3 wn{access.wNorm[0], access.wNorm[1], access.wNorm[2]};
  const double channels[] = {access.luminous,  access.diffuse,      access.specular,
                             access.mirror,    access.transparency, access.translucency,
                             access.bumpHeight};
  if (!is_finite(wn) || !std::all_of(std::begin(channels), std::end(channels),
                                     [](double c) { return std::isfinite(c); })) {
    return kMagenta;
  }
  // Both sides of a polygon are lit: seen from behind, the normal turns
  // towards the eye.
  V3 n = normalized(wn);
  if (dot(face_normal, view) < 0.0) {
    n = -n;
  }

  Light light[2];
  lights(camera, light);
  V3 diffuse_light{0.06, 0.065, 0.075};  // ambient
  V3 specular_light;
  V3 through_light;
  for (const Light &l : light) {
    const double nl = dot(n, l.direction);
    diffuse_light = diffuse_light + access.diffuse * std::max(nl, 0.0) * l.colour;
    // Translucency lets light that reaches the back of the surface through.
    through_light = through_light + access.translucency * std::max(-nl, 0.0) * l.colour;
    const V3 h = normalized(l.direction + view);
    if (nl > 0.0) {
      specular_light = specular_light + access.specular *
                                            std::pow(std::max(dot(n, h), 0.0), surface.glossiness) *
                                            l.colour;
    }
  }
  const V3 reflected = 2.0 * dot(n, view) * n - view;
  // The sample's colour, which a shader may have changed.
  const V3 base{access.color[0], access.color[1], access.color[2]};
  V3 colour = mul(base, diffuse_light + through_light) + specular_light +
              access.mirror * environment(camera, reflected) + access.luminous * base;
  // The gradient bump input drives a gradient from the lit colour to amber,
  // as a gradient layer keyed to it would.
  colour = lerp(colour, V3{0.85, 0.45, 0.08}, std::clamp(access.bumpHeight, 0.0, 1.0));
  const double t = std::clamp(access.transparency, 0.0, 1.0);
  return lerp(colour, background(sy), t);
}

V3 to_display(const V3 &linear) {
  auto encode = [](double v) { return v > 0.0 ? std::min(std::pow(v, 1.0 / 2.2), 1.0) : 0.0; };
  return {encode(linear.x), encode(linear.y), encode(linear.z)};
}

}  // namespace korv::host::render
