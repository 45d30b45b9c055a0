// The edges whose bands hold a sample besides its nearest edge, for blending
// the bends of a corner: where the bands of several edges overlap, the
// evaluation bends the sample by all of them together, so that the normal
// turns smoothly where the nearest edge changes.
#pragma once

#include <algorithm>
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

// What the nearest-edge walk of a polygon's corners read from the host,
// handed on to the band gathering so that it asks the host for none of it
// again: the corners' points (all n of them once count is n) and the first
// kPositions base positions read, as the host gave them.
struct WalkedCorners {
  static constexpr int kPositions = 32;
  int count = 0;
  LWPntID corners[CornerIndex::kManyCorners];
  int position_count = 0;
  LWPntID points[kPositions];
  LWFVector positions[kPositions];

  // Kept as read, repeats too: the walk reads every sample's positions,
  // the gathering only those of samples within a band.
  void remember(LWPntID point, const LWFVector position) {
    if (position_count < kPositions) {
      points[position_count] = point;
      std::copy(position, position + 3, positions[position_count++]);
    }
  }
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
