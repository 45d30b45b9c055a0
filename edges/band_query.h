// The edges whose bands hold a sample besides its nearest edge, for blending
// the bends of a corner: where the bands of several edges overlap, the
// evaluation bends the sample by all of them together, so that the normal
// turns smoothly where the nearest edge changes.
#pragma once

#include "edges/edge_query.h"

namespace korv {

// The nearest edge as the query found it.
struct NearestBand {
  const EdgeRecord *edge;
  double distance;
  double t;     // its foot's parameter
  Vec3 normal;  // as the query gives it
};

// Fills query.band: the nearest edge first, then the other candidates at the
// polygon's n corners, nearest first, whose foot point lies on them and
// whose distance is within the widest band any edge can have. Reads the
// candidates' base positions through mesh; the caller holds the render lock.
void gather_band_edges(const ObjectEdgeDatabase &database, LWMeshInfo *mesh, const EdgeSpot &spot,
                       int n, const NearestBand &nearest, EdgeQuery &query);

}  // namespace korv
