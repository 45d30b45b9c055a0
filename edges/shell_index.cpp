#include "edges/shell_index.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "edges/foot_point.h"

namespace korv {

namespace {

// A leaf holds up to this many edges.
constexpr std::uint32_t kLeafSize = 4;

// Every split halves a node's edges, so a hierarchy of fewer than 2^32
// edges is at most 31 levels deep; the search's stack holds one entry per
// level and one more.
constexpr int kStackSize = 64;

bool finite(const LWFVector v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// The squared distance from p to the node's box, 0 inside it.
double box_squared(const ShellIndex::Node &node, const Vec3 &p) {
  const double c[3] = {p.x, p.y, p.z};
  double sum = 0.0;
  for (int k = 0; k < 3; ++k) {
    const double below = double(node.lo[k]) - c[k];
    const double above = c[k] - double(node.hi[k]);
    const double out = below > 0.0 ? below : (above > 0.0 ? above : 0.0);
    sum += out * out;
  }
  return sum;
}

double magnitude(const Vec3 &v) {
  return std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
}

}  // namespace

ShellIndex::Builder::Builder(std::size_t point_count) : parent_(point_count) {
  std::iota(parent_.begin(), parent_.end(), 0u);
}

std::uint32_t ShellIndex::Builder::root(std::uint32_t p) {
  while (parent_[p] != p) {
    parent_[p] = parent_[parent_[p]];
    p = parent_[p];
  }
  return p;
}

void ShellIndex::Builder::join(std::uint32_t p, std::uint32_t q) {
  p = root(p);
  q = root(q);
  if (p != q) {
    parent_[std::max(p, q)] = std::min(p, q);
  }
}

std::unique_ptr<ShellIndex> ShellIndex::Builder::build(
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> &edge_ends,
    const std::vector<std::array<float, 3>> &positions, double reach) {
  auto index = std::make_unique<ShellIndex>();
  index->reach_ = reach;
  const std::size_t points = parent_.size();

  // The edges grouped by the shell of their first end, each group in edge
  // list order. An edge with an end that is not a finite position has no
  // foot point anywhere and is left out.
  std::vector<std::uint32_t> start(points + 1, 0);
  std::vector<std::uint32_t> shell_of_edge(edge_ends.size());
  for (std::size_t e = 0; e < edge_ends.size(); ++e) {
    const auto [a, b] = edge_ends[e];
    const bool usable = finite(positions[a].data()) && finite(positions[b].data());
    shell_of_edge[e] = usable ? root(a) : kNoShell;
    if (usable) {
      start[shell_of_edge[e] + 1] += 1;
    }
  }
  std::partial_sum(start.begin(), start.end(), start.begin());
  index->segments_.resize(start[points]);
  std::vector<std::uint32_t> cursor(start.begin(), start.end() - 1);
  for (std::size_t e = 0; e < edge_ends.size(); ++e) {
    if (shell_of_edge[e] == kNoShell) {
      continue;
    }
    const auto [a, b] = edge_ends[e];
    Segment &s = index->segments_[cursor[shell_of_edge[e]]++];
    std::copy(positions[a].begin(), positions[a].end(), s.a);
    std::copy(positions[b].begin(), positions[b].end(), s.b);
    s.edge = std::uint32_t(e);
  }
  std::vector<std::uint32_t>().swap(shell_of_edge);
  std::vector<std::uint32_t>().swap(cursor);

  // One hierarchy per shell with edges; cursor's place is taken by the
  // roots, kept at each shell's representative entry.
  std::vector<std::uint32_t> shell_root(points, kNoShell);
  for (std::size_t r = 0; r < points; ++r) {
    if (start[r + 1] > start[r]) {
      shell_root[r] = index->build_node(start[r], start[r + 1]);
    }
  }
  index->point_shell_.resize(points);
  for (std::size_t p = 0; p < points; ++p) {
    index->point_shell_[p] = shell_root[root(std::uint32_t(p))];
  }
  for (const Segment &s : index->segments_) {
    for (int k = 0; k < 3; ++k) {
      index->scale_ =
          std::max({index->scale_, double(std::fabs(s.a[k])), double(std::fabs(s.b[k]))});
    }
  }
  index->nodes_.shrink_to_fit();
  return index;
}

std::uint32_t ShellIndex::build_node(std::uint32_t begin, std::uint32_t end) {
  const std::uint32_t self = std::uint32_t(nodes_.size());
  Node node{};
  for (int k = 0; k < 3; ++k) {
    node.lo[k] = std::numeric_limits<float>::infinity();
    node.hi[k] = -std::numeric_limits<float>::infinity();
  }
  double centre_lo[3] = {INFINITY, INFINITY, INFINITY};
  double centre_hi[3] = {-INFINITY, -INFINITY, -INFINITY};
  for (std::uint32_t i = begin; i < end; ++i) {
    const Segment &s = segments_[i];
    for (int k = 0; k < 3; ++k) {
      node.lo[k] = std::min({node.lo[k], s.a[k], s.b[k]});
      node.hi[k] = std::max({node.hi[k], s.a[k], s.b[k]});
      const double centre = double(s.a[k]) + double(s.b[k]);
      centre_lo[k] = std::min(centre_lo[k], centre);
      centre_hi[k] = std::max(centre_hi[k], centre);
    }
  }
  nodes_.push_back(node);
  if (end - begin <= kLeafSize) {
    nodes_[self].first = begin;
    nodes_[self].count = end - begin;
    return self;
  }
  // Halves by the edges' centres along the widest spread of centres; equal
  // centres are ordered by edge, so that every build makes the same tree.
  int axis = 0;
  for (int k = 1; k < 3; ++k) {
    if (centre_hi[k] - centre_lo[k] > centre_hi[axis] - centre_lo[axis]) {
      axis = k;
    }
  }
  const std::uint32_t middle = begin + (end - begin) / 2;
  std::nth_element(segments_.begin() + begin, segments_.begin() + middle, segments_.begin() + end,
                   [axis](const Segment &x, const Segment &y) {
                     const double cx = double(x.a[axis]) + double(x.b[axis]);
                     const double cy = double(y.a[axis]) + double(y.b[axis]);
                     return cx < cy || (cx == cy && x.edge < y.edge);
                   });
  build_node(begin, middle);
  const std::uint32_t second = build_node(middle, end);
  nodes_[self].first = second;
  nodes_[self].count = 0;
  return self;
}

bool ShellIndex::search(std::uint32_t shell, const Vec3 &spot, double before, Found &found) const {
  if (shell >= nodes_.size() || !std::isfinite(magnitude(spot))) {
    return false;
  }
  // Nothing beyond the reach, nor at or beyond the distance already found
  // by the caller, can be taken.
  double bound = reach_ < before ? reach_ : before;
  if (!(bound >= 0.0)) {
    return false;
  }
  // A node is passed over only when its box lies farther than the bound by
  // more than the rounding of a measured distance can make up: that error
  // grows with the size of the coordinates, not of the distance.
  const double slack = 1e-9 * (1.0 + std::max(magnitude(spot), scale_));
  auto beyond = [&](double squared) {
    const double limit = bound + slack;
    return squared > limit * limit;
  };

  Found best;
  best.distance = std::numeric_limits<double>::infinity();
  std::uint32_t stack[kStackSize];
  int top = 0;
  stack[top++] = shell;
  while (top > 0) {
    const std::uint32_t at = stack[--top];
    const Node &node = nodes_[at];
    if (beyond(box_squared(node, spot))) {
      continue;
    }
    if (node.count == 0) {
      // The nearer child is searched first, so that the bound shrinks early.
      std::uint32_t near = at + 1;
      std::uint32_t far = node.first;
      const double near_squared = box_squared(nodes_[near], spot);
      const double far_squared = box_squared(nodes_[far], spot);
      if (far_squared < near_squared) {
        std::swap(near, far);
      }
      stack[top++] = far;
      stack[top++] = near;
      continue;
    }
    for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
      const Segment &s = segments_[i];
      const Vec3 a = to_vec3(s.a);
      const Vec3 d = to_vec3(s.b) - a;
      double t = 0.0;
      if (!foot_parameter(a, d, spot, t) || !(t >= 0.0 && t <= 1.0)) {
        continue;
      }
      const double distance = std::sqrt(squared_foot_distance(a, d, spot, t));
      if (!(distance <= reach_ && distance < before)) {
        continue;
      }
      if (distance < best.distance || (distance == best.distance && s.edge < best.edge)) {
        best = {distance, t, s.edge};
        bound = distance;
      }
    }
  }
  if (!best.any()) {
    return false;
  }
  found = best;
  return true;
}

std::size_t ShellIndex::memory_bytes() const {
  return sizeof(ShellIndex) + point_shell_.capacity() * sizeof(std::uint32_t) +
         nodes_.capacity() * sizeof(Node) + segments_.capacity() * sizeof(Segment);
}

}  // namespace korv
