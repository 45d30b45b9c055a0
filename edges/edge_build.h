// Builds one object's edge database from the host's mesh in four scans.
#pragma once

#include <algorithm>
#include <cstdint>

#include "edges/edge_kind.h"
#include "edges/edge_records.h"
#include "hostapi/lwmeshes.h"

namespace korv {

// The most corner uses (corners of polygons of three or more vertices, a
// point used twice by one polygon counting twice) that one database holds.
// Every count is a 32-bit integer, and each use takes an entry in arrays
// that a 32-bit process can hold only so many of. The build fails for a
// mesh that reports more, before it walks the corners of the polygon that
// would pass the bound.
inline constexpr std::int64_t kMaxCornerUses =
    std::min<std::int64_t>(INT32_MAX, PTRDIFF_MAX / std::int64_t(sizeof(LWPolID)));

// What a build reads from the instance's settings (derived from them by
// edge_build_options in shader/build_options.h).
struct EdgeBuildOptions {
  double cos_threshold = 0.0;  // cosine of the edge detection angle
  std::int32_t open_edge = 0;
  std::int32_t use_deform = 0;
  // The sharp edges kept: with Convex or Concave, the build judges each
  // sharp side once, when it first finds it sharp, and a side of the other
  // kind is not recorded (nor looked at again). Open edges are kept whatever
  // the kind.
  EdgeKind edge_kind = EdgeKind::Both;
  // With cross_polygons, the database also gets its ShellIndex, searched up
  // to reach; the build then reads each edge end's base position once more.
  bool cross_polygons = false;
  double reach = 0.0;
  // With list_polygons, the database keeps the polygons the build's first
  // scan listed, and the query gives any other polygon no edge before it
  // hands it to the host: for a front whose host does not promise that a
  // sample's polygon is one of its object's mesh.
  bool list_polygons = false;
  // With keep_point_records, the database keeps every point's record with
  // its list of polygons as the build made them, for the tools that show
  // them. Otherwise it keeps what the query reads: the records of the
  // points that end an edge (of every point with cross_polygons, whose
  // shell search may start from any) and no polygon lists, so that a mesh
  // costs memory for its edges rather than for its size.
  bool keep_point_records = false;
};

// Builds the database of object from mesh with options and appends it to
// cache. On a failed scan, or whatever else stops the build (memory running
// out, more corner uses than kMaxCornerUses), the partial database is freed,
// mesh is released with its destroy (when the host supplies one) and null is
// returned: the caller must then neither use nor release mesh again. Nothing
// is thrown. On success mesh stays the caller's.
ObjectEdgeDatabase *build_edge_database(EdgeCache &cache, LWItemID object_id, LWMeshInfo *mesh,
                                        const EdgeBuildOptions &options);

// The polygon's normal, not normalised: cross(P1 - P0, PL - P0) of corners 0,
// 1 and n - 1. normal is left unchanged for a polygon of fewer than 3 vertices.
void polygon_normal(LWMeshInfo *mesh, LWPolID polygon, std::int32_t use_deform, Vec3 &normal);

}  // namespace korv
