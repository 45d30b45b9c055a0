// The per-sample evaluation of either front: bends the normals near the
// nearest edge and tells its front what to write (the bent normals, and
// whether and from which distance the edge mask is written). It reads
// nothing of a front's instance or host record but what the front hands it.
#pragma once

#include "edges/edge_query.h"
#include "edges/vec3.h"

namespace korv {

// One sample as its front's host record gives it. The arrays are read where
// the front keeps them (mostly its host record), during the call only: a
// copy made per sample and read back at once would stall the loads.
struct ShadingSample {
  EdgeSpot spot;          // the object, the polygon, the position in object coordinates
  const double *normal;   // [3] the world normal to bend: the shader's wNorm
  const double *normal0;  // [3] the world normal before perturbation: the shader's wNorm0
  // Towards the viewer, of any length: the shader's raySource - wPos. Read
  // only beside an open edge.
  Vec3 view;
  // [9] the linear part of the world-to-object transform in row order (the
  // shader's wXfrm). Edge normals of a base-mesh database go into the world
  // by its transpose.
  const double *world_to_object;
};

// What the evaluation gives its front.
struct ShadingResult {
  // The settings the sample worked from (copied once by its query) and the
  // nearest edge.
  EdgeQuery query;
  // Where the mask is written: nowhere (the sample passes through), where an
  // object's edges were searched and none was found, or at distance.
  enum class Mask { None, NoEdge, Edge };
  Mask mask = Mask::None;
  double distance = -1.0;  // to the nearest edge, with Mask::Edge
  // With bend, the sample's normals are to be replaced: normal0 by the bent
  // normal, normal by the shading normal (the bent one plus the sample's own
  // offset from normal0). Both are finite and have a direction. Written only
  // with bend, and not cleared before.
  bool bend = false;
  double normal0[3];
  double normal[3];
};

// Evaluates one sample of an instance, read through source, against the
// object-info service as it is now. May run on several render threads at
// once, each with its own sample and result, while the host's interface
// callbacks write the settings: the sample works from one copy of them,
// taken by its query under the render lock.
void evaluate_sample(const ShadingSample &sample, const EdgeSource &source, ShadingResult &result);

// exp(-d / width), for a width above 0 and d >= 0: a number from 0 to 1.
double edge_mask(double d, double width);

}  // namespace korv
