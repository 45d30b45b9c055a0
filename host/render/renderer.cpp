#include "host/render/renderer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <thread>
#include <vector>

namespace korv::host::render {

namespace {

struct Job {
  const RayScene &scene;
  const ModuleSession *session;
  const RenderOptions &options;
  Camera camera;
  Image &image;
  std::atomic<int> next_row{0};
  std::atomic<int> rows_done{0};
  std::atomic<long long> rays{0};
  std::atomic<long long> samples{0};
};

// Mask pass: everything the shader does not write reads as 0.
void clear_channels(LWShaderAccess &access) {
  access.luminous = access.diffuse = access.specular = access.mirror = 0.0;
  access.transparency = access.translucency = access.bumpHeight = 0.0;
}

V3 trace(Job &job, const RaySample &pixel, double sx, double sy, long long &samples) {
  const RenderOptions &o = job.options;
  const V3 direction = job.camera.ray_direction(sx, sy);
  SurfaceHit hit;
  if (!job.scene.intersect(job.camera.eye, direction, hit)) {
    return o.pass == Pass::Mask ? V3{0.05, 0.06, 0.09} : background(sy);
  }
  ++samples;
  LWShaderAccess access{};
  fill_record(job.scene, hit, job.camera.eye, o.surface, access, pixel);
  if (o.pass == Pass::Mask) {
    clear_channels(access);
    if (double *field = channel_field(access, o.mask_channel)) {
      *field = o.mask_start;
    }
  }
  if (o.pass != Pass::Plain) {
    job.session->shade(access);
  }
  if (o.pass == Pass::Mask) {
    const double *field = channel_field(access, o.mask_channel);
    const double m = field != nullptr ? *field : 0.0;
    if (!std::isfinite(m)) {
      return {1.0, 0.0, 1.0};
    }
    const double v = std::clamp(m, 0.0, 1.0);
    return {v, v, v};
  }
  return shade(job.camera, o.surface, access, hit.face_normal, -direction, sy);
}

void work(Job &job) {
  const RenderOptions &o = job.options;
  const int n = std::max(o.subsamples, 1);
  const double pixel_angle = 2.0 * job.camera.tan_half_fov / o.height / n;
  long long rays = 0;
  long long samples = 0;
  for (int y = job.next_row++; y < o.height; y = job.next_row++) {
    for (int x = 0; x < o.width; ++x) {
      V3 sum;
      for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
          const double sx = (x + (i + 0.5) / n) / o.width;
          const double sy = (y + (j + 0.5) / n) / o.height;
          sum = sum + trace(job, {x, y, pixel_angle}, sx, sy, samples);
          ++rays;
        }
      }
      const V3 mean = (1.0 / (n * n)) * sum;
      job.image.set(x, y, o.pass == Pass::Mask ? mean : to_display(mean));
    }
    ++job.rows_done;
  }
  job.rays += rays;
  job.samples += samples;
}

}  // namespace

Camera render_camera(const RayScene &scene, const RenderOptions &options) {
  return options.camera
             ? *options.camera
             : frame_three_quarter(scene.lower(), scene.upper(), options.width, options.height);
}

void fill_record(const RayScene &scene, const SurfaceHit &hit, const V3 &ray_source,
                 const Surface &surface, LWShaderAccess &access, const RaySample &sample) {
  auto put = [](const V3 &v, double out[3]) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
  };
  const V3 to_source = ray_source - hit.world_pos;
  const double distance = length(to_source);
  access.sx = sample.x;
  access.sy = sample.y;
  put(hit.object_pos, access.oPos);
  put(hit.world_pos, access.wPos);
  put(hit.face_normal, access.gNorm);
  access.spotSize = distance * sample.pixel_angle;
  put(ray_source, access.raySource);
  access.rayLength = distance;
  access.cosine = dot(hit.normal, normalized(to_source));
  // The placement has no scale, so the inverse of its rotation is its transpose.
  const Mat3 &to_world = scene.placement().rotation;
  const Mat3 to_object = to_world.transposed();
  std::copy(to_world.m.begin(), to_world.m.end(), access.oXfrm);
  std::copy(to_object.m.begin(), to_object.m.end(), access.wXfrm);
  access.objID = scene.object().id();
  access.polNum = int(hit.polygon);
  put(hit.normal, access.wNorm);
  put(hit.normal, access.wNorm0);
  fill_channels(surface, access);
  access.flags = 0;    // a camera ray, not a shadow ray
  access.bounces = 0;  // straight from the camera
  access.sourceID = nullptr;
  for (std::size_t k = 0; k < 4; ++k) {
    const bool corner = k < 3;
    access.verts[k] = corner ? point_id(hit.corner_points[k]) : nullptr;
    access.weights[k] = corner ? float(hit.weights[k]) : 0.0f;
    const V3 p = corner ? hit.corner_world[k] : V3{};
    access.vertsWPos[k][0] = float(p.x);
    access.vertsWPos[k][1] = float(p.y);
    access.vertsWPos[k][2] = float(p.z);
  }
  access.polygon = polygon_id(hit.polygon);
}

Image render(const RayScene &scene, const ModuleSession *session, const RenderOptions &options,
             RenderStats *stats) {
  if (options.width <= 0 || options.height <= 0) {
    throw std::invalid_argument("the picture needs a width and a height above 0");
  }
  if (options.pass != Pass::Plain && session == nullptr) {
    throw std::invalid_argument("a shaded render needs a module session");
  }
  Image image(options.width, options.height);
  Job job{scene, session, options, render_camera(scene, options), image};
  const unsigned cores = std::max(std::thread::hardware_concurrency(), 1u);
  const int threads =
      std::clamp(options.threads > 0 ? options.threads : int(cores), 1, options.height);

  const auto start = std::chrono::steady_clock::now();
  if (options.pass != Pass::Plain) {
    session->init();
  }
  {
    std::vector<std::jthread> workers;
    workers.reserve(std::size_t(threads));
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&job] { work(job); });
    }
    if (options.progress) {
      while (job.rows_done.load() < options.height) {
        options.progress(double(job.rows_done.load()) / options.height);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      options.progress(1.0);
    }
  }
  if (options.pass != Pass::Plain) {
    session->cleanup();
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

  if (stats != nullptr) {
    *stats = {options.width,   options.height,     threads,
              job.rays.load(), job.samples.load(), elapsed.count()};
  }
  return image;
}

}  // namespace korv::host::render
