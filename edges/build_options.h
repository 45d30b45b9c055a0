// What an object's edge build reads from an instance's settings, derived in
// this one place: the shader's own builds and every tool or test that wants
// the database the shader would build go through it, so that no setting the
// build reads can be honoured by one and dropped by another.
#pragma once

#include "edges/edge_build.h"
#include "shader/edge_shader_instance.h"

namespace korv {

// The build options of the instance's settings: the cosine of the detection
// angle, open edges, deformed scanning, the kind of sharp edges kept, and the
// search across polygons with its reach.
EdgeBuildOptions edge_build_options(const EdgeSettings &settings);

// How far from a sample the search across polygons (cross_polygons) looks:
// as far as anything the sample shows can reach. That is the band's widest
// half width (half the edge width; twice the edge width for an open edge,
// whose band widens with the view) and, with an output channel chosen, the
// distance at which the edge mask falls below 1/256.
double cross_polygon_reach(const EdgeSettings &settings);

}  // namespace korv
