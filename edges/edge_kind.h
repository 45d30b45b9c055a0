// Which sharp edges a database keeps: all of them, only the outside (convex)
// ones or only the inside (concave) ones, and how one sharp edge is judged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "edges/vec3.h"

namespace korv {

// The edge_kind setting's choices, by their stored value.
enum class EdgeKind : std::int32_t { Both = 0, Convex = 1, Concave = 2 };
inline constexpr std::size_t kEdgeKindCount = 3;

// The setting as the build reads it. A value that is none of the choices (a
// damaged scene, a newer writer) keeps every edge, as "Both" does.
constexpr EdgeKind edge_kind_setting(std::int32_t value) {
  return value == 1 ? EdgeKind::Convex : value == 2 ? EdgeKind::Concave : EdgeKind::Both;
}

// What a sharp edge turned out to be. Undecided: its two polygons disagree
// (one lies in front of the other's plane, the other behind), as happens
// where their windings disagree, or where a polygon is twisted or not planar
// near the edge; the neighbour may also not run along the side at all.
enum class EdgeShape { Convex, Concave, Undecided };

constexpr bool keeps(EdgeKind kind, EdgeShape shape) {
  return kind == EdgeKind::Both || (kind == EdgeKind::Convex && shape == EdgeShape::Convex) ||
         (kind == EdgeKind::Concave && shape == EdgeShape::Concave);
}

// How the neighbour Q runs along the side that P runs from a to b.
enum class NeighbourRun {
  Reversed,  // from b to a, as a neighbour wound like P does
  Same,      // from a to b: the two windings disagree
  Unknown,   // both ways, or a and b are not next to each other in Q
};

// Judges a sharp side next to the edge. P runs from a to b and has the unit
// normal np; its neighbour Q has the unit normal nq and runs along the side
// as run says. Each polygon's surface next to the side lies, within its own
// plane, on the left of the way it runs (about its normal): the edge is
// convex where each surface lies behind the other's plane, concave where each
// lies in front of it, and undecided otherwise (a zero product included).
EdgeShape judge_sharp_side(const Vec3 &np, const Vec3 &nq, const Vec3 &a, const Vec3 &b,
                           NeighbourRun run);

}  // namespace korv
