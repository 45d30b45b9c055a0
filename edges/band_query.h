// The edges whose bands hold a sample besides its nearest edge, for blending
// the bends of a corner: where the bands of several edges overlap, the
// evaluation bends the sample by all of them together, so that the normal
// turns smoothly where the nearest edge changes.
#pragma once

#include <cstddef>

#include "edges/edge_query.h"

namespace korv {

// The nearest edge as the query found it.
struct NearestBand {
  const EdgeRecord *edge;
  double distance;
  double t;     // its foot's parameter
  Vec3 normal;  // as the query gives it
};

// The corners' points the nearest-edge walk of a polygon read from the
// host (all n of them once count is n) and their records (null: none),
// handed on to the band gathering so that it neither asks for them again
// nor looks them up.
struct WalkedCorners {
  int count = 0;
  LWPntID corners[CornerIndex::kManyCorners];
  const PointRecord *records[CornerIndex::kManyCorners];
};

// Where the candidates besides the nearest edge come from: the edges at the
// polygon's n corners, from its corner index when it has one (indexed), and
// with a shell index those of the shell of the point entry shell_entry (-1:
// none).
struct BandSources {
  int n;
  const CornerIndex::Polygon *indexed;
  std::ptrdiff_t shell_entry;
  const WalkedCorners *walked;  // or null
};

// Fills query.band where other bands than the nearest edge's hold the
// sample (else band_count is 0): the nearest edge first, then the other candidates,
// nearest first, whose foot point lies on them and whose distance is within
// the widest band any edge can have. Among equal distances the polygon's own
// edges come first, in the order a walk of its corners meets them, then the
// shell's in edge list order. Reads the polygon's corners and the base
// positions of the candidates it walks through mesh (those of an index come
// from the build); the caller holds the render lock.
void gather_band_edges(const ObjectEdgeDatabase &database, LWMeshInfo *mesh, const EdgeSpot &spot,
                       const BandSources &sources, const NearestBand &nearest, EdgeQuery &query);

}  // namespace korv
