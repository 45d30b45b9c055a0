#include "edges/edge_query.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "edges/band_query.h"
#include "edges/edge_build.h"
#include "edges/foot_point.h"
#include "runtime/render_lock.h"

namespace korv {

namespace {

constexpr double kNoEdge = -1.0;
constexpr double kFarAway = 1e20;

// A host that writes nothing leaves the origin, never stale values.
void read_base_position(LWMeshInfo *mesh, LWPntID point, LWFVector pos) {
  pos[0] = pos[1] = pos[2] = 0.0f;
  mesh->pntBasePos(mesh, point, pos);
}

Vec3 base_position(LWMeshInfo *mesh, LWPntID point) {
  LWFVector pos;
  read_base_position(mesh, point, pos);
  return to_vec3(pos);
}

// Releases the query's mesh-info handle, when the host gave it a destroy.
void release(LWMeshInfo *mesh) {
  if (mesh->destroy != nullptr) {
    mesh->destroy(mesh);
  }
}

// The end normal of one end of the best edge: its own normal plus every other
// edge at that point whose normal lies within the smoothing angle of it.
Vec3 end_normal(const ObjectEdgeDatabase &database, const EdgeRecord &best, LWPntID end,
                double smooth_cosine) {
  Vec3 sum = best.normal;
  if (const PointRecord *record = database.points.find(end)) {
    for (std::int32_t i = 0; i < record->edge_count; ++i) {
      const EdgeRecord *other = record->edges[std::size_t(i)];
      if (other != &best && dot(best.normal, other->normal) >= smooth_cosine) {
        sum = sum + other->normal;
      }
    }
  }
  return sum.normalize();
}

}  // namespace

Vec3 query_edge_normal(const ObjectEdgeDatabase &database, const EdgeRecord &edge, double t,
                       const EdgeSettings &settings) {
  Vec3 blended = edge.normal;
  if (settings.smooth_edge != 0) {
    const double smooth_cosine = database.smoothing_cosine(settings.smooth_cos);
    const Vec3 at_a = end_normal(database, edge, edge.point_a, smooth_cosine);
    const Vec3 at_b = end_normal(database, edge, edge.point_b, smooth_cosine);
    blended = (1.0 - t) * at_a + t * at_b;
  }
  return blended.normalize();
}

double edge_distance(const EdgeRecord &edge, LWMeshInfo *mesh, const Vec3 &p, double *t) {
  const Vec3 a = base_position(mesh, edge.point_a);
  const Vec3 b = base_position(mesh, edge.point_b);
  const Vec3 d = b - a;
  double foot = 0.0;
  if (!foot_parameter(a, d, p, foot)) {
    return 0.0;
  }
  if (t != nullptr) {
    *t = foot;
  }
  return std::sqrt(squared_foot_distance(a, d, p, foot));
}

namespace {

// How many candidate edges of one corner have their ends read from the host
// before any of them is measured.
constexpr std::int32_t kBatch = 16;

// The best edge found so far among a polygon's candidates.
struct NearestEdge {
  double distance = kFarAway;
  double squared = std::numeric_limits<double>::infinity();  // distance before its root
  double t = 0.0;
  const EdgeRecord *edge = nullptr;
};

// Measures one candidate whose end positions a and b the host has given and
// makes it the best when it is nearer. The square root is monotonic, so a
// squared distance that is not below the best one's cannot give a smaller
// distance: only the others are rooted and compared as distances, as the
// query defines the comparison. An edge of length 0 gives no t and is
// rejected, as is a t that is not a number or lies outside [0, 1].
inline void consider(const EdgeRecord *edge, const LWFVector a_in, const LWFVector b_in,
                     const Vec3 &spot, NearestEdge &best) {
  const Vec3 a = to_vec3(a_in);
  const Vec3 d = to_vec3(b_in) - a;
  double t = 0.0;
  if (!foot_parameter(a, d, spot, t) || !(t >= 0.0 && t <= 1.0)) {
    return;
  }
  const double squared = squared_foot_distance(a, d, spot, t);
  if (!(squared < best.squared)) {
    return;
  }
  const double distance = std::sqrt(squared);
  if (distance < best.distance) {
    best = {distance, squared, t, edge};
  }
}

// The best so far as the bound of a search: only a lower distance beats it.
EdgeForest::Best bound_of(const NearestEdge &best) {
  return {best.distance, best.squared, best.t, 0, 0};
}

// The best edge a search found, as the walk keeps it.
NearestEdge nearest_of(const ObjectEdgeDatabase &database, const EdgeForest::Best &found) {
  return {found.distance, found.squared, found.t, &database.edge_list->records[found.edge]};
}

// Across polygons: an edge of the shell of the point entry nearer than the
// best of the polygon's own corners (and within the index's reach) becomes
// the best. It is measured from the base positions the build read, with the
// same arithmetic, so no host call is made.
void nearest_in_shell(const ObjectEdgeDatabase &database, std::ptrdiff_t entry, const Vec3 &spot,
                      NearestEdge &best) {
  const ShellIndex &shells = *database.shells;
  EdgeForest::Best found = bound_of(best);
  if (entry >= 0 && shells.search(shells.shell_of(std::size_t(entry)), spot, found)) {
    best = nearest_of(database, found);
  }
}

// The candidates of a polygon with many corners, from its index: the edges
// at its other points ranked by the corner that first visits them, then
// each of its points with many edges in the order the polygon first visits
// them, so that among equal distances the edge the walk would meet first
// wins. No host call is made.
NearestEdge nearest_at_many_corners(const ObjectEdgeDatabase &database,
                                    const CornerIndex::Polygon &indexed, const Vec3 &spot) {
  const CornerIndex &corners = *database.corners;
  EdgeForest::Best found{kFarAway, std::numeric_limits<double>::infinity(), 0.0, 0, 0};
  bool any = corners.forest().search(indexed.root, spot, std::numeric_limits<double>::infinity(), 0,
                                     found);
  for (std::uint32_t k = indexed.busy_begin; k < indexed.busy_end; ++k) {
    const CornerIndex::BusyCorner &busy = corners.busy_corners()[k];
    any =
        corners.forest().search(corners.point_tree(busy.entry), spot,
                                std::numeric_limits<double>::infinity(), busy.order, found, true) ||
        any;
  }
  return any ? nearest_of(database, found) : NearestEdge{};
}

// The search of one polygon's corners in a database that exists, from the
// polygon's size to the best edge; the entry of the first corner the
// database knows goes to known (-1 when none). The caller holds the render
// lock and releases the handle.
//
// This runs once per shading sample, so it skips work whose outcome is
// already known: the edges of a point the polygon visited at an earlier
// corner are not measured again (the same distance cannot beat itself, nor
// a best that has since become smaller), and a point with many edges is
// searched in its index instead of walked. Every edge that is measured has
// both its ends' base positions read, in the order the query defines. The
// reads of a batch of a corner's edges come first and the arithmetic after,
// so that no value of the arithmetic has to survive a call into the host.
//
// A side of the polygon ends at two of its corners and is met at both. The
// second meeting can only repeat the first one's verdict, so an edge whose
// other end is the first or the previous corner is not measured again when
// it was measured there: when that corner's point lists its edges. A point
// the host's point scan never showed lists none (its record comes from the
// polygons alone), and its edges are then measured where they are met.
//
// With walked (corner blending on), the corners it reads are kept there for
// the band gathering.
NearestEdge nearest_at_corners(const ObjectEdgeDatabase &database, LWMeshInfo *mesh,
                               LWPolID polygon, int n, const Vec3 &spot, std::ptrdiff_t &known,
                               WalkedCorners *walked) {
  const CornerIndex *index = database.corners.get();
  NearestEdge best;
  // The points met so far that list edges, while the polygon is small
  // enough for the walk to keep them.
  LWPntID met[CornerIndex::kManyCorners];
  int met_count = 0;
  // The first and the previous corner, when their points list their edges.
  LWPntID first = nullptr;
  LWPntID previous = nullptr;
  LWFVector ends[kBatch][2];
  for (int i = 0; i < n; ++i) {
    const LWPntID corner = mesh->polVertex(mesh, polygon, i);
    const std::ptrdiff_t entry = database.points.entry_index(corner);
    const PointRecord *record =
        entry < 0 ? nullptr : &database.points.entry(std::size_t(entry)).second;
    if (walked != nullptr && i < CornerIndex::kManyCorners) {
      walked->records[walked->count] = record;
      walked->corners[walked->count++] = corner;
    }
    if (record != nullptr && known < 0) {
      known = entry;
    }
    // A corner's edges were all measured when its point lists any: every
    // point the host showed lists every edge that ends there.
    const LWPntID listed = record != nullptr && record->edge_count > 0 ? corner : nullptr;
    bool again = false;
    for (int k = 0; k < met_count && listed != nullptr; ++k) {
      again = again || met[k] == listed;
    }
    if (listed != nullptr && !again && met_count < CornerIndex::kManyCorners) {
      met[met_count++] = listed;
    }
    const std::uint32_t tree = index != nullptr && !again && listed != nullptr
                                   ? index->point_tree(std::size_t(entry))
                                   : EdgeForest::kNone;
    if (tree != EdgeForest::kNone) {
      EdgeForest::Best found = bound_of(best);
      if (index->forest().search(tree, spot, std::numeric_limits<double>::infinity(), 0, found,
                                 true)) {
        best = nearest_of(database, found);
      }
    } else if (listed != nullptr && !again) {
      const EdgeRecord *const *edges = record->edges;
      for (std::int32_t start = 0; start < record->edge_count; start += kBatch) {
        const std::int32_t count = std::min(kBatch, record->edge_count - start);
        for (std::int32_t k = 0; k < count; ++k) {
          const EdgeRecord *edge = edges[start + k];
          read_base_position(mesh, edge->point_a, ends[k][0]);
          read_base_position(mesh, edge->point_b, ends[k][1]);
        }
        for (std::int32_t k = 0; k < count; ++k) {
          const EdgeRecord *edge = edges[start + k];
          const LWPntID other = edge->point_a == corner ? edge->point_b : edge->point_a;
          if (i > 0 && other != nullptr && (other == previous || other == first)) {
            continue;  // measured at an earlier corner, with the same verdict
          }
          consider(edge, ends[k][0], ends[k][1], spot, best);
        }
      }
    }
    if (i == 0) {
      first = listed;
    }
    previous = listed;
  }
  return best;
}

// The query of one sample's polygon in a database that exists, from the
// polygon's size to the blended normal.
double nearest_in_database(const ObjectEdgeDatabase &database, LWMeshInfo *mesh,
                           const EdgeSpot &sample, const EdgeSettings *inst, Vec3 &normal,
                           std::int32_t &is_open, EdgeQuery &query) {
  // An object without a single edge has none near any sample. Its corner
  // index is never built, so a polygon of a million corners would otherwise
  // be walked corner by corner through the host for every sample on it.
  if (database.edge_list == nullptr || database.edge_list->records.empty()) {
    return kNoEdge;
  }
  const LWPolID polygon = sample.polygon;
  const int n = mesh->polSize(mesh, polygon);
  if (n < 3) {
    return kNoEdge;
  }
  const Vec3 spot = sample.position;
  const CornerIndex::Polygon *indexed = n > CornerIndex::kManyCorners && database.corners != nullptr
                                            ? database.corners->polygon(polygon)
                                            : nullptr;
  // The entry of a corner the database knows: its shell is the polygon's.
  std::ptrdiff_t known = -1;
  NearestEdge best;
  WalkedCorners walked;
  if (indexed != nullptr) {
    best = nearest_at_many_corners(database, *indexed, spot);
    known = std::ptrdiff_t(indexed->first_known);
  } else {
    best = nearest_at_corners(database, mesh, polygon, n, spot, known,
                              inst->corner_blend != 0 ? &walked : nullptr);
  }
  if (database.shells != nullptr && known >= 0) {
    nearest_in_shell(database, known, spot, best);
  }
  if (best.edge == nullptr) {
    return kNoEdge;
  }

  const EdgeRecord &edge = *best.edge;
  is_open = edge.is_open;
  normal = query_edge_normal(database, edge, best.t, *inst);
  if (inst->corner_blend != 0) {
    gather_band_edges(database, mesh, sample, {n, indexed, known, &walked},
                      {&edge, best.distance, best.t, normal}, query);
  }
  return best.distance;
}

// The query of one sample's polygon in a database that exists, with what
// it tells the evaluation. A polygon the database does not list goes to no
// host call and leaves the sample as if nothing had been searched.
double search_database(const ObjectEdgeDatabase &database, LWMeshInfo *mesh, const EdgeSpot &sample,
                       EdgeQuery &query) {
  if (!database.polygons.lists(sample.polygon)) {
    return kNoEdge;
  }
  query.deformed = database.deformed;
  query.searched = true;
  query.band_count = 0;
  return nearest_in_database(database, mesh, sample, &query.settings, query.normal, query.is_open,
                             query);
}

}  // namespace

ObjectEdgeDatabase *find_or_build_edge_database(const EdgeSource &source, LWItemID object,
                                                LWMeshInfo *mesh) {
  EdgeCache &cache = **source.cache;
  // Another thread that missed at the same time may have built the database
  // while this one waited for the lock: it is then found, not built again.
  if (ObjectEdgeDatabase *database = find_edge_database(cache, object)) {
    return database;
  }
  const EdgeBuildOptions options = source.build_options(*source.settings);
  ObjectEdgeDatabase *database = build_edge_database(cache, object, mesh, options);
  if (database == nullptr) {
    remember_failed_build(cache, object);
    return nullptr;
  }
  database->deformed = options.use_deform != 0;
  database->remember_smoothing_cosine(source.settings->smooth_cos);
  return database;
}

namespace {

// The query's mesh-info handle, released on every way out of the query (an
// exception from a lock or the host included) unless a failed build has
// released it already. It goes after the lock, as the query's last host call.
class QueryMesh {
 public:
  QueryMesh() = default;
  ~QueryMesh() {
    if (mesh_ != nullptr) {
      release(mesh_);
    }
  }
  QueryMesh(const QueryMesh &) = delete;
  QueryMesh &operator=(const QueryMesh &) = delete;

  void take(LWMeshInfo *mesh) { mesh_ = mesh; }
  LWMeshInfo *get() const { return mesh_; }
  void released_by_build() { mesh_ = nullptr; }

 private:
  LWMeshInfo *mesh_ = nullptr;
};

}  // namespace

double find_nearest_edge(LWObjectInfo *info, const EdgeSpot &spot, const EdgeSource &source,
                         EdgeQuery &query) {
  // Declared before the lock, so that its release follows the lock's.
  QueryMesh mesh;
  const LWItemID object = spot.object;
  double distance = kNoEdge;
  bool missed = false;
  {
    // The common case: the database exists, and any number of render threads
    // search it at once. The settings are copied under the same hold.
    RenderLockShared shared;
    query.settings = *source.settings;
    if (!(query.settings.edge_width > 0.0) || *source.cache == nullptr) {
      return kNoEdge;
    }
    const ObjectEdgeDatabase *database = find_edge_database(**source.cache, object);
    if (database == nullptr && remembers_failed_build(**source.cache, object)) {
      return kNoEdge;
    }
    mesh.take(info->meshInfo(object, 1));
    if (mesh.get() == nullptr || spot.polygon == nullptr) {
      return kNoEdge;
    }
    if (database != nullptr) {
      distance = search_database(*database, mesh.get(), spot, query);
    } else {
      missed = true;
    }
  }
  if (missed) {
    // The first query for the object builds its database, alone. The
    // settings may have changed while this thread waited: it reads them
    // again, as the build does, so that both follow the settings of now.
    RenderLockGuard exclusive;
    query.settings = *source.settings;
    if (!(query.settings.edge_width > 0.0) || *source.cache == nullptr) {
      return kNoEdge;
    }
    const ObjectEdgeDatabase *database = find_edge_database(**source.cache, object);
    if (database == nullptr) {
      // Another thread's build may have failed meanwhile.
      if (remembers_failed_build(**source.cache, object)) {
        return kNoEdge;
      }
      database = find_or_build_edge_database(source, object, mesh.get());
      if (database == nullptr) {
        mesh.released_by_build();
        return kNoEdge;
      }
    }
    distance = search_database(*database, mesh.get(), spot, query);
  }
  return distance;
}

}  // namespace korv
