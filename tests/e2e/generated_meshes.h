// Meshes made on the spot for tests, the same on every build: coordinates
// come from integer arithmetic and exact binary fractions only.
#pragma once

#include <cstdint>
#include <vector>

#include "host/mesh.h"

namespace korv::testing {

// A small deterministic generator (64-bit linear congruential, top bits).
class Lcg {
 public:
  explicit Lcg(std::uint64_t seed) : state_(seed) {}
  // A whole number in [0, n).
  std::uint32_t below(std::uint32_t n) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return std::uint32_t((state_ >> 33) % n);
  }

 private:
  std::uint64_t state_;
};

// An n x n grid of unit quads whose heights are random multiples of 1/16 in
// [0, 1): dihedral angles of every size, many near any threshold. Its border
// sides are open edges.
inline host::Mesh bumpy_grid(std::uint32_t n, std::uint64_t seed) {
  host::Mesh mesh;
  Lcg random(seed);
  for (std::uint32_t j = 0; j <= n; ++j) {
    for (std::uint32_t i = 0; i <= n; ++i) {
      mesh.add_point(i, j, random.below(16) / 16.0);
    }
  }
  for (std::uint32_t j = 0; j < n; ++j) {
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint32_t a = j * (n + 1) + i;
      mesh.add_polygon({a, a + 1, a + n + 2, a + n + 1});
    }
  }
  return mesh;
}

// The same grid with every height shifted by a random multiple of 1/32, as
// the deformed positions.
inline host::Mesh deformed_bumpy_grid(std::uint32_t n, std::uint64_t seed) {
  host::Mesh mesh = bumpy_grid(n, seed);
  Lcg random(seed ^ 0x5bd1e995u);
  for (const auto &p : mesh.points) {
    mesh.deformed.push_back({p[0], p[1], p[2] + random.below(8) / 32.0f});
  }
  return mesh;
}

// A closed prism over a regular-ish polygon of `sides` corners (integer
// coordinates on a circle of radius 64), with two n-gon caps and quad walls,
// one wall split into two triangles.
inline host::Mesh prism(std::uint32_t sides) {
  static constexpr int kCircle[][2] = {{64, 0},    {55, 32},  {32, 55},  {0, 64},
                                       {-32, 55},  {-55, 32}, {-64, 0},  {-55, -32},
                                       {-32, -55}, {0, -64},  {32, -55}, {55, -32}};
  const std::uint32_t n = sides < 3 ? 3 : (sides > 12 ? 12 : sides);
  const std::uint32_t step = 12 / n;
  host::Mesh mesh;
  for (std::uint32_t k = 0; k < n; ++k) {
    mesh.add_point(kCircle[k * step][0], kCircle[k * step][1], 0);
    mesh.add_point(kCircle[k * step][0], kCircle[k * step][1], 48);
  }
  std::vector<std::uint32_t> bottom, top;
  for (std::uint32_t k = 0; k < n; ++k) {
    bottom.push_back(2 * (n - 1 - k));
    top.push_back(2 * k + 1);
  }
  mesh.add_polygon(bottom);
  mesh.add_polygon(top);
  for (std::uint32_t k = 0; k < n; ++k) {
    const std::uint32_t a = 2 * k, b = 2 * ((k + 1) % n);
    if (k == 0) {
      mesh.add_polygon({a, b, b + 1});
      mesh.add_polygon({a, b + 1, a + 1});
    } else {
      mesh.add_polygon({a, b, b + 1, a + 1});
    }
  }
  return mesh;
}

}  // namespace korv::testing
