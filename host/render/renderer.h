// The stand-in renderer: casts camera rays at one placed object, fills a
// shading record per hit as a host does, lets the loaded module evaluate it,
// and lights the result. Several render threads call evaluate at once, with
// init before and cleanup after, as in a real render.
#pragma once

#include <functional>
#include <optional>

#include "host/module_session.h"
#include "host/render/camera.h"
#include "host/render/image.h"
#include "host/render/ray_scene.h"
#include "host/render/surface.h"

namespace korv::host::render {

enum class Pass {
  Plain,   // the surface alone; the shader is not called
  Shaded,  // the shader evaluates every hit, then the sample is lit
  Mask,    // the shader evaluates every hit; the picture is the channel it wrote
};

struct RenderOptions {
  int width = 480;
  int height = 360;
  int threads = 0;     // render threads; 0: one per core
  int subsamples = 2;  // per pixel and axis: subsamples^2 rays per pixel
  Pass pass = Pass::Shaded;
  // Mask pass: the out_channel value whose field holds the mask. The field
  // starts at 0 for every sample, so what is not written stays black.
  int mask_channel = 1;
  // Mask pass: what that field holds before the shader runs. 1 shows what a
  // shader that multiplies the channel multiplies it by.
  double mask_start = 0.0;
  Surface surface;
  std::optional<Camera> camera;  // default: the three-quarter view of the scene
  // Called on the calling thread now and then with the fraction done.
  std::function<void(double)> progress;
};

struct RenderStats {
  int width = 0;
  int height = 0;
  int threads = 0;
  long long rays = 0;
  long long samples = 0;  // shading samples: rays that met the object
  double seconds = 0.0;
};

// Where a camera ray starts on the picture: the pixel, and the angle one
// pixel spans, from which the ray's footprint on the surface follows.
struct RaySample {
  int x = 0;
  int y = 0;
  double pixel_angle = 0.0;
};

// The camera a render with these options uses.
Camera render_camera(const RayScene &scene, const RenderOptions &options);

// Fills every member of the shading record a renderer knows for a camera
// ray's hit, as a host does: the pixel, positions, the geometric and the
// interpolated normal (as both wNorm and wNorm0), the ray's source, length,
// footprint and incidence, the object's transforms (oXfrm object to world,
// wXfrm its inverse), the object and polygon, the surface's colour and
// channels, and the hit triangle's corners and weights. The ray functions
// stay null: the shader does not ask for them.
void fill_record(const RayScene &scene, const SurfaceHit &hit, const V3 &ray_source,
                 const Surface &surface, LWShaderAccess &access, const RaySample &sample = {});

// Renders one pass. session may be null only for the plain pass; the
// shaded and mask passes call its init before the first sample and its
// cleanup after the last.
Image render(const RayScene &scene, const ModuleSession *session, const RenderOptions &options,
             RenderStats *stats = nullptr);

}  // namespace korv::host::render
