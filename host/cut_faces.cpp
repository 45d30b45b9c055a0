#include "host/cut_faces.h"

#include <algorithm>

namespace korv::host {

void add_facing(Mesh &m, std::vector<std::uint32_t> corners, Direction outward) {
  double nx = 0, ny = 0, nz = 0;
  for (std::size_t i = 0; i < corners.size(); ++i) {
    const FloatPoint &a = m.points[corners[i]];
    const FloatPoint &b = m.points[corners[(i + 1) % corners.size()]];
    nx += (double(a[1]) - b[1]) * (double(a[2]) + b[2]);
    ny += (double(a[2]) - b[2]) * (double(a[0]) + b[0]);
    nz += (double(a[0]) - b[0]) * (double(a[1]) + b[1]);
  }
  if (nx * outward[0] + ny * outward[1] + nz * outward[2] < 0.0) {
    std::reverse(corners.begin(), corners.end());
  }
  m.add_polygon(corners);
}

std::uint32_t CutFaces::point(double x, double y, double z) {
  const auto [it, added] = points_.try_emplace({x, y, z}, 0u);
  if (added) {
    it->second = m_.add_point(x, y, z);
  }
  return it->second;
}

void CutFaces::face(int axis, double c, double a0, double a1, double b0, double b1,
                    Direction outward, FaceHole hole) {
  const int ai = (axis + 1) % 3;
  const int bi = (axis + 2) % 3;
  std::vector<double> as, bs;
  std::copy_if(cuts_[ai].begin(), cuts_[ai].end(), std::back_inserter(as),
               [&](double v) { return v >= a0 && v <= a1; });
  std::copy_if(cuts_[bi].begin(), cuts_[bi].end(), std::back_inserter(bs),
               [&](double v) { return v >= b0 && v <= b1; });
  auto at = [&](double a, double b) {
    double p[3];
    p[axis] = c;
    p[ai] = a;
    p[bi] = b;
    return point(p[0], p[1], p[2]);
  };
  for (std::size_t i = 0; i + 1 < as.size(); ++i) {
    for (std::size_t j = 0; j + 1 < bs.size(); ++j) {
      const double ma = (as[i] + as[i + 1]) / 2;
      const double mb = (bs[j] + bs[j + 1]) / 2;
      if (ma > hole.a0 && ma < hole.a1 && mb > hole.b0 && mb < hole.b1) {
        continue;
      }
      add_facing(
          m_,
          {at(as[i], bs[j]), at(as[i + 1], bs[j]), at(as[i + 1], bs[j + 1]), at(as[i], bs[j + 1])},
          outward);
    }
  }
}

void CutFaces::box(const Direction &lo, const Direction &hi) {
  for (int axis = 0; axis < 3; ++axis) {
    const int ai = (axis + 1) % 3;
    const int bi = (axis + 2) % 3;
    for (const bool high : {false, true}) {
      Direction outward = {0, 0, 0};
      outward[std::size_t(axis)] = high ? 1.0 : -1.0;
      face(axis, high ? hi[std::size_t(axis)] : lo[std::size_t(axis)], lo[std::size_t(ai)],
           hi[std::size_t(ai)], lo[std::size_t(bi)], hi[std::size_t(bi)], outward);
    }
  }
}

std::array<std::vector<double>, 3> loop_cuts(const Direction &lo, const Direction &hi,
                                             const std::vector<double> &distances) {
  std::array<std::vector<double>, 3> cuts;
  for (std::size_t k = 0; k < 3; ++k) {
    cuts[k] = {lo[k], hi[k]};
    for (double d : distances) {
      cuts[k].push_back(lo[k] + d);
      cuts[k].push_back(hi[k] - d);
    }
    std::sort(cuts[k].begin(), cuts[k].end());
  }
  return cuts;
}

}  // namespace korv::host
