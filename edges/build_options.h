// What an object's edge build reads from a set of settings, derived in this
// one place: each front's builds and every tool or test that wants the
// database a front would build go through it, so that no setting the build
// reads can be honoured by one and dropped by another.
#pragma once

#include "edges/edge_build.h"
#include "edges/settings.h"

namespace korv {

// The build options of the settings: the cosine of the detection angle, open
// edges, deformed scanning, the kind of sharp edges kept, and the search
// across polygons with its reach. shows_mask tells whether the front shows
// the edge mask with these settings (the shader: an output channel is
// chosen).
EdgeBuildOptions edge_build_options(const EdgeSettings &settings, bool shows_mask);

// How far from a sample the search across polygons (cross_polygons) looks:
// as far as anything the sample shows can reach. That is the band's widest
// half width (half the edge width; twice the edge width for an open edge,
// whose band widens with the view) and, where the mask is shown, the
// distance at which it falls below 1/256.
double cross_polygon_reach(const EdgeSettings &settings, bool shows_mask);

}  // namespace korv
