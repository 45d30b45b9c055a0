// A procedural mesh for tests and benchmarks: a field of boxes standing on a
// grid. Every box face is split into a grid of quads, so the mesh has sharp
// edges (the box edges), smooth shared sides (inside each face) and, on the
// boxes left without a lid, open edges around the rim.
#pragma once

#include <cstddef>

#include "host/mesh.h"

namespace korv::host {

struct BoxFieldOptions {
  std::size_t boxes = 1;
  int subdivisions = 2;        // quads per face side (at least 1)
  std::size_t open_every = 7;  // every open_every-th box has no lid (0: none)
};

// Polygons the field of options has.
std::size_t box_field_polygon_count(const BoxFieldOptions &options);

// The field: boxes of side 1 spaced 1.5 apart on the x-y plane, quads wound
// counter-clockwise seen from outside. Points are welded within a box and
// never shared between boxes.
Mesh box_field(const BoxFieldOptions &options);

// A field of about polygons polygons (at least one box) with the default
// subdivisions and lids.
Mesh box_field_with_polygons(std::size_t polygons);

}  // namespace korv::host
