#include "host/render/ray_scene.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace korv::host::render {

namespace {

V3 position(const Mesh &mesh, std::uint32_t point) {
  const FloatPoint &p = mesh.points[point];
  return {double(p[0]), double(p[1]), double(p[2])};
}

bool usable_polygon(const Mesh &mesh, std::size_t polygon) {
  const auto corners = mesh.polygon(polygon);
  if (corners.size() < 3) {
    return false;
  }
  for (std::uint32_t c : corners) {
    if (c >= mesh.point_count() || !is_finite(position(mesh, c))) {
      return false;
    }
  }
  return true;
}

// Per polygon, per corner: the smoothed normal at that corner.
std::vector<std::vector<V3>> corner_normals(const Mesh &mesh, const std::vector<V3> &face,
                                            const std::vector<bool> &usable,
                                            double smoothing_angle) {
  // The polygons around each point.
  std::vector<std::vector<std::uint32_t>> around(mesh.point_count());
  for (std::size_t p = 0; p < mesh.polygon_count(); ++p) {
    if (!usable[p]) {
      continue;
    }
    for (std::uint32_t c : mesh.polygon(p)) {
      if (around[c].empty() || around[c].back() != p) {
        around[c].push_back(std::uint32_t(p));
      }
    }
  }
  const double threshold = std::cos(smoothing_angle);
  const bool smooth = smoothing_angle > 0.0;
  std::vector<std::vector<V3>> normals(mesh.polygon_count());
  for (std::size_t p = 0; p < mesh.polygon_count(); ++p) {
    if (!usable[p]) {
      continue;
    }
    for (std::uint32_t c : mesh.polygon(p)) {
      V3 sum = face[p];
      if (smooth) {
        for (std::uint32_t q : around[c]) {
          if (q != p && dot(face[p], face[q]) >= threshold) {
            sum = sum + face[q];
          }
        }
      }
      const V3 n = normalized(sum);
      normals[p].push_back(length(n) > 0.0 ? n : face[p]);
    }
  }
  return normals;
}

}  // namespace

V3 polygon_normal(const Mesh &mesh, std::size_t polygon) {
  const auto corners = mesh.polygon(polygon);
  V3 n;
  for (std::size_t i = 0; i < corners.size(); ++i) {
    const std::uint32_t a = corners[i];
    const std::uint32_t b = corners[(i + 1) % corners.size()];
    if (a >= mesh.point_count() || b >= mesh.point_count()) {
      return {};
    }
    const V3 pa = position(mesh, a);
    const V3 pb = position(mesh, b);
    n.x += (pa.y - pb.y) * (pa.z + pb.z);
    n.y += (pa.z - pb.z) * (pa.x + pb.x);
    n.z += (pa.x - pb.x) * (pa.y + pb.y);
  }
  return normalized(n);
}

RayScene::RayScene(SceneObject &object, const Placement &placement, double smoothing_angle)
    : object_(object), placement_(placement) {
  object.place({placement.rotation.m,
                {placement.translation.x, placement.translation.y, placement.translation.z}});
  const Mesh &mesh = object.mesh();
  std::vector<bool> usable(mesh.polygon_count());
  std::vector<V3> face(mesh.polygon_count());
  for (std::size_t p = 0; p < mesh.polygon_count(); ++p) {
    usable[p] = usable_polygon(mesh, p);
    if (usable[p]) {
      face[p] = polygon_normal(mesh, p);
    }
  }
  const auto normals = corner_normals(mesh, face, usable, smoothing_angle);

  for (std::size_t p = 0; p < mesh.polygon_count(); ++p) {
    if (!usable[p]) {
      continue;
    }
    const auto corners = mesh.polygon(p);
    for (std::size_t i = 1; i + 1 < corners.size(); ++i) {
      Triangle t;
      t.polygon = std::uint32_t(p);
      t.points = {corners[0], corners[i], corners[i + 1]};
      t.corner = {position(mesh, corners[0]), position(mesh, corners[i]),
                  position(mesh, corners[i + 1])};
      t.normal = {normals[p][0], normals[p][i], normals[p][i + 1]};
      t.face_normal = face[p];
      triangles_.push_back(t);
    }
  }

  if (!triangles_.empty()) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    lower_ = {inf, inf, inf};
    upper_ = {-inf, -inf, -inf};
    for (const Triangle &t : triangles_) {
      for (const V3 &c : t.corner) {
        const V3 w = placement_.to_world(c);
        lower_ = {std::min(lower_.x, w.x), std::min(lower_.y, w.y), std::min(lower_.z, w.z)};
        upper_ = {std::max(upper_.x, w.x), std::max(upper_.y, w.y), std::max(upper_.z, w.z)};
      }
    }
  }

  // One worker: the scene is built on this thread, before any render thread
  // starts, and the ray casts themselves need no threads of Embree's.
  device_ = rtcNewDevice("threads=1");
  if (device_ == nullptr) {
    throw std::runtime_error("the ray caster (Embree) could not be started");
  }
  scene_ = rtcNewScene(device_);
  if (!triangles_.empty()) {
    RTCGeometry geometry = rtcNewGeometry(device_, RTC_GEOMETRY_TYPE_TRIANGLE);
    auto *vertices = static_cast<float *>(
        rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                3 * sizeof(float), 3 * triangles_.size()));
    auto *indices = static_cast<unsigned *>(
        rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                3 * sizeof(unsigned), triangles_.size()));
    for (std::size_t i = 0; i < triangles_.size(); ++i) {
      for (std::size_t k = 0; k < 3; ++k) {
        const V3 w = placement_.to_world(triangles_[i].corner[k]);
        vertices[9 * i + 3 * k + 0] = float(w.x);
        vertices[9 * i + 3 * k + 1] = float(w.y);
        vertices[9 * i + 3 * k + 2] = float(w.z);
        indices[3 * i + k] = unsigned(3 * i + k);
      }
    }
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(scene_, geometry);
    rtcReleaseGeometry(geometry);
  }
  rtcCommitScene(scene_);
}

RayScene::~RayScene() {
  if (scene_ != nullptr) {
    rtcReleaseScene(scene_);
  }
  if (device_ != nullptr) {
    rtcReleaseDevice(device_);
  }
}

bool RayScene::intersect(const V3 &origin, const V3 &direction, SurfaceHit &hit) const {
  if (triangles_.empty()) {
    return false;
  }
  RTCIntersectContext context;
  rtcInitIntersectContext(&context);
  RTCRayHit rh{};
  rh.ray.org_x = float(origin.x);
  rh.ray.org_y = float(origin.y);
  rh.ray.org_z = float(origin.z);
  rh.ray.dir_x = float(direction.x);
  rh.ray.dir_y = float(direction.y);
  rh.ray.dir_z = float(direction.z);
  rh.ray.tnear = 0.0f;
  rh.ray.tfar = std::numeric_limits<float>::infinity();
  rh.ray.mask = 0xFFFFFFFFu;
  rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
  rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
  rtcIntersect1(scene_, &context, &rh);
  if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID || rh.hit.primID >= triangles_.size()) {
    return false;
  }
  const Triangle &t = triangles_[rh.hit.primID];
  const double u = double(rh.hit.u);
  const double v = double(rh.hit.v);
  const double w = 1.0 - u - v;
  hit.polygon = t.polygon;
  hit.object_pos = w * t.corner[0] + u * t.corner[1] + v * t.corner[2];
  hit.world_pos = placement_.to_world(hit.object_pos);
  const V3 n = normalized(w * t.normal[0] + u * t.normal[1] + v * t.normal[2]);
  hit.face_normal = placement_.rotation.apply(t.face_normal);
  hit.normal = length(n) > 0.0 ? placement_.rotation.apply(n) : hit.face_normal;
  hit.corner_points = t.points;
  for (std::size_t k = 0; k < 3; ++k) {
    hit.corner_world[k] = placement_.to_world(t.corner[k]);
  }
  hit.weights = {w, u, v};
  return true;
}

}  // namespace korv::host::render
