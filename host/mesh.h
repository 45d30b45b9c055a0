// The stand-in host's in-memory polygon mesh. Positions are the host's float
// vectors: each coordinate is rounded to float once, on the way in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

namespace korv::host {

using FloatPoint = std::array<float, 3>;

struct Mesh {
  std::vector<FloatPoint> points;    // base positions, in point order
  std::vector<FloatPoint> deformed;  // empty, or one deformed position per point
  // The polygons' point indices, polygon after polygon; polygon i spans
  // corners[polygon_start[i] .. polygon_start[i + 1]).
  std::vector<std::uint32_t> corners;
  std::vector<std::uint32_t> polygon_start{0};

  std::size_t point_count() const { return points.size(); }
  std::size_t polygon_count() const { return polygon_start.size() - 1; }
  std::span<const std::uint32_t> polygon(std::size_t i) const {
    return {corners.data() + polygon_start[i], polygon_start[i + 1] - polygon_start[i]};
  }

  std::uint32_t add_point(double x, double y, double z) {
    points.push_back({float(x), float(y), float(z)});
    return std::uint32_t(points.size() - 1);
  }
  void add_polygon(std::span<const std::uint32_t> indices) {
    corners.insert(corners.end(), indices.begin(), indices.end());
    polygon_start.push_back(std::uint32_t(corners.size()));
  }
  void add_polygon(std::initializer_list<std::uint32_t> indices) {
    add_polygon(std::span<const std::uint32_t>(indices.begin(), indices.size()));
  }
};

}  // namespace korv::host
