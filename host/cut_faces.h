// Building blocks of the generated meshes: polygons wound to face a given
// way, and flat axis-aligned faces cut into quads along lines shared by the
// whole mesh, as models made for subdivision are built: with support loops
// (an extra row of polygons close to each sharp edge) or evenly subdivided.
// Faces cut along the same lines meet point for point.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "host/mesh.h"

namespace korv::host {

using Direction = std::array<double, 3>;

// Adds a polygon through the given points, wound counter-clockwise seen from
// the side that outward points to.
void add_facing(Mesh &m, std::vector<std::uint32_t> corners, Direction outward);

// A rectangle left out of a face: a0 to a1 along the face's first axis, b0
// to b1 along its second.
struct FaceHole {
  double a0 = 0, a1 = 0, b0 = 0, b1 = 0;
};

class CutFaces {
 public:
  // cuts[k]: the lines across axis k, ascending.
  CutFaces(Mesh &m, std::array<std::vector<double>, 3> cuts) : m_(m), cuts_(std::move(cuts)) {}

  // The point at (x, y, z), added on first use.
  std::uint32_t point(double x, double y, double z);

  // A rectangle less a hole, in the plane where axis `axis` has the value c:
  // a spans [a0, a1] along the next axis, b spans [b0, b1] along the one
  // after (axis 0 spans y and z, axis 1 z and x, axis 2 x and y). It is cut
  // into a quad between each pair of neighbouring lines; quads whose centre
  // lies inside the hole are left out.
  void face(int axis, double c, double a0, double a1, double b0, double b1, Direction outward,
            FaceHole hole = {});

  // The six faces of the box [lo, hi], facing outwards.
  void box(const Direction &lo, const Direction &hi);

 private:
  Mesh &m_;
  std::array<std::vector<double>, 3> cuts_;
  std::map<std::array<double, 3>, std::uint32_t> points_;
};

// The lines of a box [lo, hi] with a support loop at each of the distances
// from every edge (on every axis: lo, lo + d..., hi - d..., hi).
std::array<std::vector<double>, 3> loop_cuts(const Direction &lo, const Direction &hi,
                                             const std::vector<double> &distances);

}  // namespace korv::host
