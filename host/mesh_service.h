// The stand-in host's "LW Object Info 3" service and the mesh-info objects it
// hands out. Scene objects are registered with the service; the item id a
// module sees is the object's address. Point and polygon ids are index + 1,
// so that no id is null.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/mesh.h"
#include "hostapi/lwmeshes.h"

namespace korv::host {

// Faults the service can be told to inject, for tests.
struct MeshFaults {
  bool null_mesh_info = false;  // meshInfo answers null
  bool no_destroy = false;      // mesh-info objects come without destroy
  int fail_scan = 0;            // the k-th scan (1-based) on a handle fails; 0: none
  // How many elements the failing scan hands to its callback before it
  // reports the failure (0: it fails before the first).
  std::size_t fail_scan_visits = 0;
  // From scan number mutate_after_scan + 1 on, a handle presents alt_mesh's
  // polygons instead of the object's (0: never).
  int mutate_after_scan = 0;
  std::shared_ptr<const Mesh> alt_mesh;
  // polSize of the polygon of index absurd_polygon (in the polygons shown,
  // when it is one of them) answers absurd_size, whatever the polygon holds:
  // a negative count, or more corners than any array can hold. polVertex
  // then answers the polygon's first corner (the first point when it holds
  // none) for every corner it does not hold, so that a host can claim
  // billions of uses of one point without storing them.
  std::size_t absurd_polygon = SIZE_MAX;
  int absurd_size = 0;
};

// Where an object stands in the world: world = rotation * object +
// translation, the rotation's nine doubles in row order (row i, column j at
// 3i + j, the layout of the shading record's oXfrm).
struct WorldPlacement {
  std::array<double, 9> rotation{1, 0, 0, 0, 1, 0, 0, 0, 1};
  std::array<double, 3> translation{0, 0, 0};
};

class SceneObject {
 public:
  explicit SceneObject(Mesh mesh, std::string name = "object");
  ~SceneObject();
  SceneObject(const SceneObject &) = delete;
  SceneObject &operator=(const SceneObject &) = delete;

  LWItemID id() const { return reinterpret_cast<LWItemID>(const_cast<SceneObject *>(this)); }
  const Mesh &mesh() const { return mesh_; }
  const std::string &name() const { return name_; }
  MeshFaults faults;

  // Moves the object's deformed positions (one per point, or none), as a
  // host does between frames of an animation. Only while no render thread
  // reads the mesh.
  void set_deformed(std::vector<FloatPoint> positions) { mesh_.deformed = std::move(positions); }
  // Replaces the whole mesh, as a host does when a modifier changes the
  // object's topology between frames. Only while no render thread reads it.
  void set_mesh(Mesh mesh) { mesh_ = std::move(mesh); }

  // Places the object in the world, as the renderer does before it casts a
  // ray. A mesh-info handle's pntOtherPos then gives the world positions, as
  // the host documents: the deformed (else base) positions moved by the
  // placement. Only while no render thread reads the mesh.
  void place(const WorldPlacement &placement) {
    placement_ = placement;
    const WorldPlacement origin;
    moved_ = placement.rotation != origin.rotation || placement.translation != origin.translation;
  }
  const WorldPlacement &placement() const { return placement_; }
  // False while the object stands unturned at the origin (as it does until
  // placed): its positions are then world positions exactly as they are.
  bool moved() const { return moved_; }

 private:
  Mesh mesh_;
  std::string name_;
  WorldPlacement placement_;
  bool moved_ = false;
};

inline LWPntID point_id(std::size_t index) {
  return reinterpret_cast<LWPntID>(index + 1);
}
inline LWPolID polygon_id(std::size_t index) {
  return reinterpret_cast<LWPolID>(index + 1);
}
inline std::size_t point_index(LWPntID id) {
  return reinterpret_cast<std::uintptr_t>(id) - 1;
}
inline std::size_t polygon_index(LWPolID id) {
  return reinterpret_cast<std::uintptr_t>(id) - 1;
}

// The process-wide service record, answered for "LW Object Info 3".
LWObjectInfo *object_info_service();

// Counts of meshInfo results handed out and destroy calls received. A
// destroy of a handle that is no longer live (released twice) is counted as
// stray and otherwise ignored, so that a test can see it. Each thread counts
// on its own, so that meshInfo and destroy take no lock; the counts are
// summed when read, and are exact once the threads that made the calls have
// finished them.
struct MeshServiceCounts {
  long mesh_info = 0;
  long destroy = 0;
  long stray_destroy = 0;
  long scans = 0;
  // Handles on which at least one scan ran: the module's attempts to build an
  // edge database, each with its own handle, failed ones included.
  long builds = 0;
  // Polygon calls naming a polygon the handle's mesh does not show.
  long unknown_polygons = 0;
  long live = 0;  // handles with a destroy function handed out and not yet released; not reset
};
MeshServiceCounts mesh_service_counts();
void reset_mesh_service_counts();

}  // namespace korv::host
