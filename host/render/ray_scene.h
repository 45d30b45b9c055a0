// The ray caster: one scene object placed in the world, its polygons
// fan-triangulated for Embree. The triangles are the ray caster's own; every
// hit reports the original polygon, so the shader sees the mesh's polygons.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/mesh_service.h"
#include "host/render/render_math.h"

struct RTCDeviceTy;
struct RTCSceneTy;

namespace korv::host::render {

// What a camera ray meets first.
struct SurfaceHit {
  std::size_t polygon = 0;  // index of the mesh polygon
  V3 object_pos;            // in object coordinates
  V3 world_pos;             // placement applied to object_pos
  V3 normal;                // unit, world coordinates, interpolated (see smoothing)
  V3 face_normal;           // unit, world coordinates, of the polygon
  // The hit triangle: its corners' point indices, their world positions and
  // the hit's barycentric weights, corner by corner.
  std::array<std::uint32_t, 3> corner_points{};
  std::array<V3, 3> corner_world{};
  std::array<double, 3> weights{};
};

class RayScene {
 public:
  // smoothing_angle (radians): at each corner, the normals of the polygons
  // around the corner's point that lie within this angle of the polygon's
  // own normal are averaged, as a host's surface smoothing does; 0 gives
  // flat polygons. Polygons with fewer than three corners, corners that name
  // no point and non-finite positions are left out of the ray caster. The
  // scene places object (SceneObject::place), so that the host's mesh
  // service answers its world positions as this scene renders them; a later
  // scene of the same object moves it, so each object renders in one scene
  // at a time.
  RayScene(SceneObject &object, const Placement &placement, double smoothing_angle);
  ~RayScene();
  RayScene(const RayScene &) = delete;
  RayScene &operator=(const RayScene &) = delete;

  const SceneObject &object() const { return object_; }
  const Placement &placement() const { return placement_; }
  std::size_t triangle_count() const { return triangles_.size(); }

  // The world box of everything the ray caster holds; the unit box around
  // the origin when it holds nothing.
  V3 lower() const { return lower_; }
  V3 upper() const { return upper_; }

  // Casts one ray; safe from several threads at once. False when it meets
  // nothing.
  bool intersect(const V3 &origin, const V3 &direction, SurfaceHit &hit) const;

 private:
  struct Triangle {
    std::uint32_t polygon;
    std::array<std::uint32_t, 3> points;  // the corners' point indices
    std::array<V3, 3> corner;             // object positions
    std::array<V3, 3> normal;             // object normals at the corners, unit
    V3 face_normal;                       // object normal of the polygon, unit
  };

  const SceneObject &object_;
  Placement placement_;
  std::vector<Triangle> triangles_;
  V3 lower_{-1, -1, -1};
  V3 upper_{1, 1, 1};
  RTCDeviceTy *device_ = nullptr;
  RTCSceneTy *scene_ = nullptr;
};

// The unit normal of a polygon of the mesh by Newell's method (robust for
// non-planar polygons); (0, 0, 0) for a degenerate one.
V3 polygon_normal(const Mesh &mesh, std::size_t polygon);

}  // namespace korv::host::render
