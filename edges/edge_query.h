// The nearest-edge query: per shading sample, the distance to the nearest
// detected edge of the sample's polygon and that edge's (smoothed) normal.
#pragma once

#include <cstdint>

#include "edges/edge_build.h"
#include "edges/edge_records.h"
#include "edges/settings.h"
#include "hostapi/lwmeshes.h"

namespace korv {

// An instance of either front as the query reads it. What it points to is
// the instance's own and is read only while the query holds the render lock,
// under which the host's interface callbacks write the settings and empty,
// replace or destroy the cache.
struct EdgeSource {
  const EdgeSettings *settings;
  EdgeCache *const *cache;  // the instance's cache, null when it has none
  // The front's build options for a set of its settings: it alone knows
  // whether they show the edge mask, whose reach widens a search across
  // polygons (see edge_build_options in edges/build_options.h).
  EdgeBuildOptions (*build_options)(const EdgeSettings &settings);
};

// Where one sample lies, as its front's host record gives it.
struct EdgeSpot {
  LWItemID object;
  LWPolID polygon;
  Vec3 position;  // in object coordinates
};

// What one query hands to the evaluation.
// Another edge whose band may hold the sample besides the nearest one, for
// blending corners (see edges/band_query.h). Normals are in the database's
// frame, as the nearest edge's.
struct BandEdge {
  double distance = 0.0;
  Vec3 normal;  // smoothed along the edge as the nearest edge's is
  std::int32_t is_open = 0;
  LWPntID ends[2] = {nullptr, nullptr};
  Vec3 corner_normals[2];  // at each end: the normalised sum of every edge there
  // Seen end-on from the sample (the nearest edge only; see band_query.cpp):
  // it bends the sample alone, never together with others.
  bool end_on = false;
};

struct EdgeQuery {
  // The instance's settings as this sample sees them: copied once under the
  // render lock, so that everything the sample does follows one consistent
  // set. Written on every call.
  EdgeSettings settings{};
  // Written only when the result is not -1.0: the nearest edge's normal
  // (unit or zero), its open flag, and the frame the normal is in: the
  // world's when its database was built from deformed positions, else the
  // object's.
  Vec3 normal;
  std::int32_t is_open = 0;
  bool deformed = false;
  // Whether a database was searched: false where the query gave up before
  // (no edge width, no mesh, a failed build), true even when it found no edge.
  bool searched = false;
  // With corner_blend, written with the nearest edge where the bands of
  // others hold the sample too (band_count else 0): that edge as the
  // others see it (band[0]), and up to kMaxBandEdges - 1 others, nearest
  // first, whose foot point lies on them within the widest band.
  static constexpr int kMaxBandEdges = 4;
  BandEdge band[kMaxBandEdges] = {};
  int band_count = 0;
};

// Returns the distance from spot.position to the nearest accepted edge, or
// -1.0 when there is none. info is the object-info service the caller found
// present.
//
// Takes the render lock itself, and must be called without it: shared while
// it copies the settings and searches a database that exists, exclusively
// when it builds the object's database on the first query for it in this
// instance. Host calls are made in the same order either way. An edge width
// that is not above 0 gives -1.0 before any host call, and so does an object
// whose build failed and is remembered.
double find_nearest_edge(LWObjectInfo *info, const EdgeSpot &spot, const EdgeSource &source,
                         EdgeQuery &query);

// The object's database in the instance's cache, built from mesh and
// appended when it is not there yet. Called by the query that missed, with the
// render lock held exclusively (so that the instance's settings can be read);
// the instance has a cache. Null when the build failed, which has then
// released mesh; the failure is remembered in the cache.
ObjectEdgeDatabase *find_or_build_edge_database(const EdgeSource &source, LWItemID object,
                                                LWMeshInfo *mesh);

// The nearest edge's normal as the query gives it: its own, or with
// smoothing the end normals blended by t; normalised (zero stays zero).
Vec3 query_edge_normal(const ObjectEdgeDatabase &database, const EdgeRecord &edge, double t,
                       const EdgeSettings &settings);

// Distance from p to the infinite line through the edge's base positions, and
// the parameter t of p's foot point on it (0 at point_a, 1 at point_b). An
// edge of length 0 gives 0.0 and leaves t unwritten. t may be null.
double edge_distance(const EdgeRecord &edge, LWMeshInfo *mesh, const Vec3 &p, double *t);

}  // namespace korv
