#include "host/mesh_service.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>

namespace korv::host {

namespace {

std::atomic<long> scan_count{0};
std::atomic<long> build_count{0};  // handles that were scanned at least once
// Polygon calls naming a polygon the handle's mesh does not show: a module
// should make none, so one shared count costs a render nothing.
std::atomic<long> unknown_polygon_count{0};

// The host's side of one mesh-info object; LWMeshInfo.priv points here. It
// is written on every meshInfo and destroy by the thread that holds it, so it
// has cache lines of its own: a neighbour that another render thread reads
// per sample would be passed between them.
struct alignas(128) MeshHandle {
  LWMeshInfo record{};
  const SceneObject *object = nullptr;
  MeshFaults faults;
  int scans = 0;
  // Between meshInfo and destroy. A handle with a destroy function is never
  // freed, only handed out again, so that a second destroy finds it dead
  // instead of touching freed memory.
  std::atomic<bool> live{false};

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

// The accounting. A renderer calls meshInfo and destroy once per shading
// sample on every render thread, so neither takes a lock or writes memory
// that another thread uses: each thread counts in counters of its own and
// keeps its own spare handles and its own copy of the set of live scene
// objects. The registry's lock is taken only when a thread makes its first
// call, when a scene object comes or goes, and when the counts are read or
// reset.
//
// A thread's state lives on the heap and is kept by the registry for good,
// so that no thread-exit hook is needed (some runtimes free a thread's own
// storage before its destructors run): a thread that has ended leaves its
// counts, which still add up, and its few spare handles behind.

// One thread's counts, written only by that thread and read by anyone.
struct ThreadCounts {
  std::atomic<long> mesh_info{0};
  std::atomic<long> with_destroy{0};  // of those, handles that came with destroy
  std::atomic<long> destroy{0};
  std::atomic<long> stray_destroy{0};
};

void bump(std::atomic<long> &count) {
  count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

struct CountTotals {
  long mesh_info = 0;
  long with_destroy = 0;
  long destroy = 0;
  long stray_destroy = 0;
  long scans = 0;
  long builds = 0;
  long unknown_polygons = 0;

  void add(const ThreadCounts &c) {
    mesh_info += c.mesh_info.load(std::memory_order_relaxed);
    with_destroy += c.with_destroy.load(std::memory_order_relaxed);
    destroy += c.destroy.load(std::memory_order_relaxed);
    stray_destroy += c.stray_destroy.load(std::memory_order_relaxed);
  }
};

class ThreadState;

// The registry is never destroyed: scene objects held in statics of their
// own may outlive it at exit.
struct Registry {
  std::mutex mutex;
  std::vector<std::unique_ptr<ThreadState>> threads;  // every thread that called
  CountTotals baseline;                               // the totals at the last reset

  // Live scene objects, so that an unknown item id gets no mesh. Threads
  // keep sorted copies and refresh them when the version moves on.
  std::set<const SceneObject *> objects;
  std::atomic<std::uint64_t> objects_version{1};

  CountTotals totals() const;
};

Registry &registry() {
  static auto *r = new Registry;
  return *r;
}

// Each thread's state has cache lines of its own: two threads counting in
// one line would pass it back and forth on every sample.
class alignas(128) ThreadState {
 public:
  ThreadCounts counts;

  MeshHandle *take_handle() {
    if (spare.empty()) {
      return new MeshHandle;
    }
    MeshHandle *handle = spare.back();
    spare.pop_back();
    return handle;
  }
  void give_back(MeshHandle *handle) { spare.push_back(handle); }

  bool object_is_live(const SceneObject *object) {
    Registry &r = registry();
    if (r.objects_version.load(std::memory_order_acquire) != objects_version_) {
      std::lock_guard lock(r.mutex);
      objects_.assign(r.objects.begin(), r.objects.end());
      objects_version_ = r.objects_version.load(std::memory_order_relaxed);
    }
    return std::binary_search(objects_.begin(), objects_.end(), object);
  }

  ~ThreadState() {
    for (MeshHandle *handle : spare) {
      delete handle;
    }
  }

 private:
  std::vector<MeshHandle *> spare;
  std::vector<const SceneObject *> objects_;  // sorted, as the set iterates
  std::uint64_t objects_version_ = 0;
};

CountTotals Registry::totals() const {
  CountTotals sum;
  for (const auto &state : threads) {
    sum.add(state->counts);
  }
  sum.scans = scan_count.load();
  sum.builds = build_count.load();
  sum.unknown_polygons = unknown_polygon_count.load();
  return sum;
}

// The calling thread's state, made and registered on its first call. The
// thread-local pointer needs no destructor.
ThreadState &thread_state() {
  thread_local ThreadState *state = nullptr;
  if (state == nullptr) {
    auto owned = std::make_unique<ThreadState>();
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    r.threads.push_back(std::move(owned));
    state = r.threads.back().get();
  }
  return *state;
}

// Handles given out without destroy cannot be released by the module; the
// host frees them with their object. Only fault-injecting tests make them.
std::multimap<const SceneObject *, MeshHandle *> &undestroyable() {
  static auto *handles = new std::multimap<const SceneObject *, MeshHandle *>;
  return *handles;
}

MeshHandle &handle_of(LWMeshInfoID mesh) {
  return *static_cast<MeshHandle *>(mesh->priv);
}

void mesh_destroy(LWMeshInfoID mesh) {
  ThreadState &state = thread_state();
  MeshHandle &handle = handle_of(mesh);
  if (!handle.live.exchange(false, std::memory_order_acq_rel)) {
    bump(state.counts.stray_destroy);
    return;
  }
  bump(state.counts.destroy);
  state.give_back(&handle);
}

// Hands count elements to callback in order; a scan told to fail stops after
// its allowed visits and reports 1. A callback's non-zero result stops the
// scan and is returned.
template <class Id, class Callback>
LWScanResult run_scan(MeshHandle &handle, std::size_t count, Id (*id_of)(std::size_t),
                      Callback *callback, void *user_data) {
  // Scans come only from builds, never once per sample: one shared count is
  // cheap here.
  ++scan_count;
  if (handle.scans++ == 0) {
    ++build_count;
  }
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

// Whether the handle's mesh shows the polygon of index i; one it does not
// show is counted.
bool shows_polygon(const MeshHandle &handle, std::size_t i) {
  if (i < handle.polygons().polygon_count()) {
    return true;
  }
  ++unknown_polygon_count;
  return false;
}

const char *pol_tag(LWMeshInfoID mesh, LWPolID polygon, LWID type) {
  if (!shows_polygon(handle_of(mesh), polygon_index(polygon)) || type != LWPTAG_SURF) {
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

// The host documents pntOtherPos as the world coordinates the renderer uses,
// with deformation and the object's own motion both applied. Each coordinate
// is computed in double in the renderer's order and rounded to float once.
// An object that stands unturned at the origin is passed on untouched: adding
// the zeros of that placement would still turn a coordinate of -0 into +0.
void pnt_other_pos(LWMeshInfoID mesh, LWPntID point, LWFVector pos) {
  const SceneObject &object = *handle_of(mesh).object;
  const Mesh &m = object.mesh();
  read_position(m.deformed.empty() ? m.points : m.deformed, point, pos);
  if (!object.moved()) {
    return;
  }
  const WorldPlacement &w = object.placement();
  const double p[3] = {pos[0], pos[1], pos[2]};
  for (std::size_t i = 0; i < 3; ++i) {
    const double turned =
        w.rotation[3 * i] * p[0] + w.rotation[3 * i + 1] * p[1] + w.rotation[3 * i + 2] * p[2];
    pos[i] = float(turned + w.translation[i]);
  }
}

int pol_size(LWMeshInfoID mesh, LWPolID polygon) {
  const MeshHandle &handle = handle_of(mesh);
  const Mesh &m = handle.polygons();
  const std::size_t i = polygon_index(polygon);
  if (!shows_polygon(handle, i)) {
    return 0;
  }
  return i == handle.faults.absurd_polygon ? handle.faults.absurd_size : int(m.polygon(i).size());
}

LWPntID pol_vertex(LWMeshInfoID mesh, LWPolID polygon, int vertex) {
  const MeshHandle &handle = handle_of(mesh);
  const Mesh &m = handle.polygons();
  const std::size_t i = polygon_index(polygon);
  if (!shows_polygon(handle, i) || vertex < 0) {
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
  ThreadState &state = thread_state();
  if (!state.object_is_live(scene_object)) {
    return nullptr;
  }
  if (scene_object->faults.null_mesh_info) {
    return nullptr;
  }
  MeshHandle *handle = scene_object->faults.no_destroy ? new MeshHandle : state.take_handle();
  handle->record = LWMeshInfo{};
  handle->object = scene_object;
  handle->faults = scene_object->faults;
  handle->scans = 0;
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
  bump(state.counts.mesh_info);
  if (r.destroy == nullptr) {
    std::lock_guard lock(registry().mutex);
    undestroyable().emplace(scene_object, handle);
  } else {
    bump(state.counts.with_destroy);
    handle->live.store(true, std::memory_order_release);
  }
  return &handle->record;
}

// The scene object behind an item id, or null for an id the host does not
// know. The object's own queries are not made per sample: the lock is cheap.
const SceneObject *known_object(LWItemID object) {
  const auto *scene_object = reinterpret_cast<const SceneObject *>(object);
  Registry &r = registry();
  std::lock_guard lock(r.mutex);
  return r.objects.count(scene_object) != 0 ? scene_object : nullptr;
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
  Registry &r = registry();
  std::lock_guard lock(r.mutex);
  r.objects.insert(this);
  r.objects_version.fetch_add(1, std::memory_order_release);
}

SceneObject::~SceneObject() {
  Registry &r = registry();
  std::lock_guard lock(r.mutex);
  r.objects.erase(this);
  r.objects_version.fetch_add(1, std::memory_order_release);
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
  Registry &r = registry();
  std::lock_guard lock(r.mutex);
  const CountTotals now = r.totals();
  const CountTotals &base = r.baseline;
  MeshServiceCounts counts;
  counts.mesh_info = now.mesh_info - base.mesh_info;
  counts.destroy = now.destroy - base.destroy;
  counts.stray_destroy = now.stray_destroy - base.stray_destroy;
  counts.scans = now.scans - base.scans;
  counts.builds = now.builds - base.builds;
  counts.unknown_polygons = now.unknown_polygons - base.unknown_polygons;
  counts.live = now.with_destroy - now.destroy;  // never reset: handles stay live
  return counts;
}

void reset_mesh_service_counts() {
  // Other threads' counters are theirs to write: a reset only moves the
  // zero point.
  Registry &r = registry();
  std::lock_guard lock(r.mutex);
  r.baseline = r.totals();
}

}  // namespace korv::host
