#include "host/mesh_service.h"

#include <map>
#include <mutex>
#include <set>

namespace korv::host {

namespace {

std::atomic<long> mesh_info_count{0};
std::atomic<long> destroy_count{0};
std::atomic<long> scan_count{0};

// Live scene objects, so that an unknown item id gets no mesh.
std::mutex objects_mutex;
std::set<const SceneObject *> &live_objects() {
  static std::set<const SceneObject *> objects;
  return objects;
}

// The host's side of one mesh-info object; LWMeshInfo.priv points here.
struct MeshHandle {
  LWMeshInfo record{};
  const SceneObject *object = nullptr;
  MeshFaults faults;
  int scans = 0;

  const Mesh &polygons() const {
    if (faults.mutate_after_scan > 0 && scans > faults.mutate_after_scan && faults.alt_mesh) {
      return *faults.alt_mesh;
    }
    return object->mesh();
  }
};

// Handles given out without destroy cannot be released by the module; the
// host frees them with their object.
std::multimap<const SceneObject *, MeshHandle *> &undestroyable() {
  static std::multimap<const SceneObject *, MeshHandle *> handles;
  return handles;
}

MeshHandle &handle_of(LWMeshInfoID mesh) { return *static_cast<MeshHandle *>(mesh->priv); }

void mesh_destroy(LWMeshInfoID mesh) {
  ++destroy_count;
  delete &handle_of(mesh);
}

// Counts the scan and says whether it is the one told to fail.
bool scan_fails(MeshHandle &handle) {
  ++scan_count;
  ++handle.scans;
  return handle.faults.fail_scan == handle.scans;
}

int scan_points(LWMeshInfoID mesh, LWPntScanFunc *callback, void *user_data) {
  MeshHandle &handle = handle_of(mesh);
  if (scan_fails(handle)) {
    return 1;
  }
  const std::size_t count = handle.object->mesh().point_count();
  for (std::size_t i = 0; i < count; ++i) {
    if (int result = callback(user_data, point_id(i)); result != 0) {
      return result;
    }
  }
  return 0;
}

int scan_polys(LWMeshInfoID mesh, LWPolScanFunc *callback, void *user_data) {
  MeshHandle &handle = handle_of(mesh);
  if (scan_fails(handle)) {
    return 1;
  }
  const std::size_t count = handle.polygons().polygon_count();
  for (std::size_t i = 0; i < count; ++i) {
    if (int result = callback(user_data, polygon_id(i)); result != 0) {
      return result;
    }
  }
  return 0;
}

void read_position(const std::vector<FloatPoint> &positions, LWPntID point, LWFVector pos) {
  const std::size_t i = point_index(point);
  if (i < positions.size()) {
    pos[0] = positions[i][0];
    pos[1] = positions[i][1];
    pos[2] = positions[i][2];
  } else {
    pos[0] = pos[1] = pos[2] = 0.0f;
  }
}

void pnt_base_pos(LWMeshInfoID mesh, LWPntID point, LWFVector pos) {
  read_position(handle_of(mesh).object->mesh().points, point, pos);
}

void pnt_other_pos(LWMeshInfoID mesh, LWPntID point, LWFVector pos) {
  const Mesh &m = handle_of(mesh).object->mesh();
  read_position(m.deformed.empty() ? m.points : m.deformed, point, pos);
}

int pol_size(LWMeshInfoID mesh, LWPolID polygon) {
  const Mesh &m = handle_of(mesh).polygons();
  const std::size_t i = polygon_index(polygon);
  return i < m.polygon_count() ? int(m.polygon(i).size()) : 0;
}

LWPntID pol_vertex(LWMeshInfoID mesh, LWPolID polygon, int vertex) {
  const Mesh &m = handle_of(mesh).polygons();
  const std::size_t i = polygon_index(polygon);
  if (i >= m.polygon_count() || vertex < 0 || std::size_t(vertex) >= m.polygon(i).size()) {
    return nullptr;
  }
  return point_id(m.polygon(i)[std::size_t(vertex)]);
}

LWMeshInfoID mesh_info(LWItemID object, int /*frozen*/) {
  const auto *scene_object = reinterpret_cast<const SceneObject *>(object);
  {
    std::lock_guard lock(objects_mutex);
    if (live_objects().count(scene_object) == 0) {
      return nullptr;
    }
  }
  if (scene_object->faults.null_mesh_info) {
    return nullptr;
  }
  auto *handle = new MeshHandle;
  handle->object = scene_object;
  handle->faults = scene_object->faults;
  LWMeshInfo &r = handle->record;
  r.priv = handle;
  r.destroy = handle->faults.no_destroy ? nullptr : mesh_destroy;
  r.scanPoints = scan_points;
  r.scanPolys = scan_polys;
  r.pntBasePos = pnt_base_pos;
  r.pntOtherPos = pnt_other_pos;
  r.polSize = pol_size;
  r.polVertex = pol_vertex;
  ++mesh_info_count;
  if (r.destroy == nullptr) {
    std::lock_guard lock(objects_mutex);
    undestroyable().emplace(scene_object, handle);
  }
  return &handle->record;
}

LWObjectInfo service_record = {mesh_info};

}  // namespace

SceneObject::SceneObject(Mesh mesh, std::string name) : mesh_(std::move(mesh)), name_(std::move(name)) {
  std::lock_guard lock(objects_mutex);
  live_objects().insert(this);
}

SceneObject::~SceneObject() {
  std::lock_guard lock(objects_mutex);
  live_objects().erase(this);
  auto [first, last] = undestroyable().equal_range(this);
  for (auto it = first; it != last; ++it) {
    delete it->second;
  }
  undestroyable().erase(first, last);
}

LWObjectInfo *object_info_service() { return &service_record; }

MeshServiceCounts mesh_service_counts() {
  return {mesh_info_count.load(), destroy_count.load(), scan_count.load()};
}

void reset_mesh_service_counts() {
  mesh_info_count = 0;
  destroy_count = 0;
  scan_count = 0;
}

}  // namespace korv::host
