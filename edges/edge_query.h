// The nearest-edge query: per shading sample, the distance to the nearest
// detected edge of the sample's polygon and that edge's (smoothed) normal.
#pragma once

#include <cstdint>

#include "edges/edge_records.h"
#include "hostapi/lwshader.h"
#include "shader/edge_shader_instance.h"

namespace korv {

// Returns the distance from access->oPos to the nearest accepted edge, or
// -1.0 when there is none; normal and is_open are written only when the result
// is not -1.0. info is the object-info service the caller found present.
//
// Takes the render lock itself, and must be called without it: shared while
// it searches a database that exists, exclusively when it builds the
// object's database on the first query for it in this instance. Host calls
// are made in the same order either way.
double find_nearest_edge(LWObjectInfo *info, const LWShaderAccess *access, EdgeShaderInstance *inst,
                         Vec3 &normal, std::int32_t &is_open);

// The object's database in the instance's cache, built from mesh and
// appended when it is not there yet. Called by the query that missed, with the
// render lock held exclusively; the instance has a cache. Null when the build
// failed, which has then released mesh.
ObjectEdgeDatabase *find_or_build_edge_database(EdgeShaderInstance &inst, LWItemID object,
                                                LWMeshInfo *mesh);

// Distance from p to the infinite line through the edge's base positions, and
// the parameter t of p's foot point on it (0 at point_a, 1 at point_b). An
// edge of length 0 gives 0.0 and leaves t unwritten. t may be null.
double edge_distance(const EdgeRecord &edge, LWMeshInfo *mesh, const Vec3 &p, double *t);

}  // namespace korv
