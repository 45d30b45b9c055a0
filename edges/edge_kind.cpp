#include "edges/edge_kind.h"

namespace korv {

EdgeShape judge_sharp_side(const Vec3 &np, const Vec3 &nq, const Vec3 &a, const Vec3 &b,
                           NeighbourRun run) {
  if (run == NeighbourRun::Unknown) {
    return EdgeShape::Undecided;
  }
  const Vec3 along = b - a;
  // Into P from the side, and into Q from the side, each in its own plane.
  const Vec3 into_p = cross(np, along);
  const Vec3 into_q = run == NeighbourRun::Reversed ? cross(nq, a - b) : cross(nq, along);
  const double p_before_q = dot(nq, into_p);
  const double q_before_p = dot(np, into_q);
  if (p_before_q < 0.0 && q_before_p < 0.0) {
    return EdgeShape::Convex;
  }
  if (p_before_q > 0.0 && q_before_p > 0.0) {
    return EdgeShape::Concave;
  }
  return EdgeShape::Undecided;
}

}  // namespace korv
