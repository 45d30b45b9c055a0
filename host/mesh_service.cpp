#include "host/mesh_service.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>

namespace korv::host {

namespace {

std::atomic<long> mesh_info_count{0};
std::atomic<long> destroy_count{0};
std::atomic<long> scan_count{0};
std::atomic<long> stray_destroy_count{0};

// Live scene objects, so that an unknown item id gets no mesh.
std::mutex objects_mutex;
// The registries are never destroyed: scene objects held in statics of
// their own may outlive them at exit.
std::set<const SceneObject *> &live_objects() {
  static auto *objects = new std::set<const SceneObject *>;
  return *objects;
}

// The host's side of one mesh-info object; LWMeshInfo.priv points here.
struct MeshHandle {
  LWMeshInfo record{};
  const SceneObject *object = nullptr;
  MeshFaults faults;
  int scans = 0;

  // The polygons shown during scan number scan (by default the latest, and
  // between scans those of the latest).
  const Mesh &polygons(int scan) const {
    if (faults.mutate_after_scan > 0 && scan > faults.mutate_after_scan && faults.alt_mesh) {
      return *faults.alt_mesh;
    }
    return object->mesh();
  }
  const Mesh &polygons() const { return polygons(scans); }
};

// Handles given out without destroy cannot be released by the module; the
// host frees them with their object.
std::multimap<const SceneObject *, MeshHandle *> &undestroyable() {
  static auto *handles = new std::multimap<const SceneObject *, MeshHandle *>;
  return *handles;
}

// Handles with a destroy function that are live, so that a second destroy is
// recognised without touching freed memory.
std::set<LWMeshInfoID> &live_handles() {
  static auto *handles = new std::set<LWMeshInfoID>;
  return *handles;
}

MeshHandle &handle_of(LWMeshInfoID mesh) {
  return *static_cast<MeshHandle *>(mesh->priv);
}

void mesh_destroy(LWMeshInfoID mesh) {
  {
    std::lock_guard lock(objects_mutex);
    if (live_handles().erase(mesh) == 0) {
      ++stray_destroy_count;
      return;
    }
  }
  ++destroy_count;
  delete &handle_of(mesh);
}

// Hands count elements to callback in order; a scan told to fail stops after
// its allowed visits and reports 1. A callback's non-zero result stops the
// scan and is returned.
template <class Id, class Callback>
LWScanResult run_scan(MeshHandle &handle, std::size_t count, Id (*id_of)(std::size_t),
                      Callback *callback, void *user_data) {
  ++scan_count;
  ++handle.scans;
  const bool fails = handle.faults.fail_scan == handle.scans;
  const std::size_t visits = fails ? std::min(count, handle.faults.fail_scan_visits) : count;
  for (std::size_t i = 0; i < visits; ++i) {
    if (LWScanResult result = callback(user_data, id_of(i)); result != 0) {
      return result;
    }
  }
  return fails ? 1 : 0;
}

LWScanResult scan_points(LWMeshInfoID mesh, LWPntScanFunc *callback, void *user_data) {
  MeshHandle &handle = handle_of(mesh);
  return run_scan(handle, handle.object->mesh().point_count(), point_id, callback, user_data);
}

LWScanResult scan_polys(LWMeshInfoID mesh, LWPolScanFunc *callback, void *user_data) {
  MeshHandle &handle = handle_of(mesh);
  // The scan about to start visits the polygons it shows, also when it is
  // the first to show the changed mesh.
  return run_scan(handle, handle.polygons(handle.scans + 1).polygon_count(), polygon_id, callback,
                  user_data);
}

int mesh_num_points(LWMeshInfoID mesh) {
  return int(handle_of(mesh).object->mesh().point_count());
}

int mesh_num_polygons(LWMeshInfoID mesh) {
  return int(handle_of(mesh).polygons().polygon_count());
}

// The host's meshes carry no vertex maps: every look-up answers "none".
void *pnt_v_lookup(LWMeshInfoID /*mesh*/, LWID /*type*/, const char * /*name*/) {
  return nullptr;
}
int pnt_v_select(LWMeshInfoID /*mesh*/, void * /*vmap*/) {
  return 0;
}
int pnt_v_get(LWMeshInfoID /*mesh*/, LWPntID /*point*/, float * /*vector*/) {
  return 0;
}
int pnt_vp_get(LWMeshInfoID /*mesh*/, LWPntID /*point*/, LWPolID /*polygon*/, float * /*vector*/) {
  return 0;
}

// Every polygon is a face of the one surface.
constexpr char kSurfaceName[] = "Default";

LWID pol_type(LWMeshInfoID /*mesh*/, LWPolID /*polygon*/) {
  return LWPOLTYPE_FACE;
}

const char *pol_tag(LWMeshInfoID mesh, LWPolID polygon, LWID type) {
  const std::size_t i = polygon_index(polygon);
  if (type != LWPTAG_SURF || i >= handle_of(mesh).polygons().polygon_count()) {
    return nullptr;
  }
  return kSurfaceName;
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
  const MeshHandle &handle = handle_of(mesh);
  const Mesh &m = handle.polygons();
  const std::size_t i = polygon_index(polygon);
  if (i >= m.polygon_count()) {
    return 0;
  }
  return i == handle.faults.absurd_polygon ? handle.faults.absurd_size : int(m.polygon(i).size());
}

LWPntID pol_vertex(LWMeshInfoID mesh, LWPolID polygon, int vertex) {
  const MeshHandle &handle = handle_of(mesh);
  const Mesh &m = handle.polygons();
  const std::size_t i = polygon_index(polygon);
  if (i >= m.polygon_count() || vertex < 0) {
    return nullptr;
  }
  const auto corners = m.polygon(i);
  if (std::size_t(vertex) < corners.size()) {
    return point_id(corners[std::size_t(vertex)]);
  }
  if (i == handle.faults.absurd_polygon && vertex < handle.faults.absurd_size) {
    return point_id(corners.empty() ? 0 : corners[0]);
  }
  return nullptr;
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
  r.numPoints = mesh_num_points;
  r.numPolygons = mesh_num_polygons;
  r.scanPoints = scan_points;
  r.scanPolys = scan_polys;
  r.pntBasePos = pnt_base_pos;
  r.pntOtherPos = pnt_other_pos;
  r.pntVLookup = pnt_v_lookup;
  r.pntVSelect = pnt_v_select;
  r.pntVGet = pnt_v_get;
  r.polType = pol_type;
  r.polSize = pol_size;
  r.polVertex = pol_vertex;
  r.polTag = pol_tag;
  r.pntVPGet = pnt_vp_get;
  ++mesh_info_count;
  std::lock_guard lock(objects_mutex);
  if (r.destroy == nullptr) {
    undestroyable().emplace(scene_object, handle);
  } else {
    live_handles().insert(&handle->record);
  }
  return &handle->record;
}

// The scene object behind an item id, or null for an id the host does not know.
const SceneObject *known_object(LWItemID object) {
  const auto *scene_object = reinterpret_cast<const SceneObject *>(object);
  std::lock_guard lock(objects_mutex);
  return live_objects().count(scene_object) != 0 ? scene_object : nullptr;
}

const char *object_filename(LWItemID object) {
  const SceneObject *o = known_object(object);
  return o != nullptr ? o->name().c_str() : nullptr;
}
int object_num_points(LWItemID object) {
  const SceneObject *o = known_object(object);
  return o != nullptr ? int(o->mesh().point_count()) : 0;
}
int object_num_polygons(LWItemID object) {
  const SceneObject *o = known_object(object);
  return o != nullptr ? int(o->mesh().polygon_count()) : 0;
}
// The object casts, receives and self-shadows; it is neither dissolved nor
// fogged, has no displacement or clip map, is not subdivided and holds no
// metaballs.
unsigned int object_shadow_options(LWItemID /*object*/) {
  return 7;
}
double object_dissolve(LWItemID /*object*/, LWTime /*time*/) {
  return 0.0;
}
unsigned int object_flags(LWItemID /*object*/) {
  return 0;
}
double object_fog(LWItemID /*object*/, LWTime /*time*/) {
  return 0.0;
}
LWTextureID object_no_texture(LWItemID /*object*/) {
  return nullptr;
}
void object_patch_level(LWItemID /*object*/, int *display, int *render) {
  if (display != nullptr) {
    *display = 0;
  }
  if (render != nullptr) {
    *render = 0;
  }
}
void object_metaball_resolution(LWItemID /*object*/, double *display, double *render) {
  if (display != nullptr) {
    *display = 0.0;
  }
  if (render != nullptr) {
    *render = 0.0;
  }
}

LWObjectInfo make_service_record() {
  LWObjectInfo r{};
  r.filename = object_filename;
  r.numPoints = object_num_points;
  r.numPolygons = object_num_polygons;
  r.shadowOpts = object_shadow_options;
  r.dissolve = object_dissolve;
  r.meshInfo = mesh_info;
  r.flags = object_flags;
  r.fog = object_fog;
  r.dispMap = object_no_texture;
  r.clipMap = object_no_texture;
  r.patchLevel = object_patch_level;
  r.metaballRes = object_metaball_resolution;
  return r;
}

LWObjectInfo service_record = make_service_record();

}  // namespace

SceneObject::SceneObject(Mesh mesh, std::string name)
    : mesh_(std::move(mesh)), name_(std::move(name)) {
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

LWObjectInfo *object_info_service() {
  return &service_record;
}

MeshServiceCounts mesh_service_counts() {
  std::lock_guard lock(objects_mutex);
  return {mesh_info_count.load(), destroy_count.load(), stray_destroy_count.load(),
          scan_count.load(), static_cast<long>(live_handles().size())};
}

void reset_mesh_service_counts() {
  mesh_info_count = 0;
  destroy_count = 0;
  stray_destroy_count = 0;
  scan_count = 0;
}

}  // namespace korv::host
