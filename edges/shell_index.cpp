#include "edges/shell_index.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "edges/foot_point.h"

namespace korv {

namespace {

// A leaf holds up to this many edges, and a shell of up to kSmallShell edges
// is one leaf: measuring a few edges' boxes one after another costs less than
// descending through nodes whose boxes all hold the sample, as on a box.
constexpr std::uint32_t kLeafSize = 4;
constexpr std::uint32_t kSmallShell = 16;

// Every split halves a node's edges, so a hierarchy of fewer than 2^32
// edges is at most 31 levels deep; the search's stack holds one entry per
// level and one more.
constexpr int kStackSize = 64;

bool finite(const LWFVector v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// How far c lies outside [lo, hi] on one axis: written to select, not to
// branch, since the search meets either side as often.
inline double outside(double lo, double hi, double c) {
  const double below = lo - c;
  const double above = c - hi;
  const double out = below > above ? below : above;
  return out > 0.0 ? out : 0.0;
}

// The squared distance from p to the node's box, 0 inside it.
inline double box_squared(const ShellIndex::Node &node, const Vec3 &p) {
  const double x = outside(node.lo[0], node.hi[0], p.x);
  const double y = outside(node.lo[1], node.hi[1], p.y);
  const double z = outside(node.lo[2], node.hi[2], p.z);
  return x * x + y * y + z * z;
}

// The squared distance from p to the box around a segment's two ends.
inline double segment_box_squared(const ShellIndex::Segment &s, const Vec3 &p) {
  const double x = outside(std::min(s.a[0], s.b[0]), std::max(s.a[0], s.b[0]), p.x);
  const double y = outside(std::min(s.a[1], s.b[1]), std::max(s.a[1], s.b[1]), p.y);
  const double z = outside(std::min(s.a[2], s.b[2]), std::max(s.a[2], s.b[2]), p.z);
  return x * x + y * y + z * z;
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
      shell_root[r] = index->build_node(start[r], start[r + 1], kSmallShell);
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

std::uint32_t ShellIndex::build_node(std::uint32_t begin, std::uint32_t end,
                                     std::uint32_t leaf_size) {
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
  if (end - begin <= leaf_size) {
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
  build_node(begin, middle, kLeafSize);
  const std::uint32_t second = build_node(middle, end, kLeafSize);
  nodes_[self].first = second;
  nodes_[self].count = 0;
  return self;
}

bool ShellIndex::search(std::uint32_t shell, const Vec3 &spot, double before, Found &found) const {
  const double scale = std::max(magnitude(spot), scale_);
  if (shell >= nodes_.size() || !std::isfinite(scale)) {
    return false;
  }
  // Nothing beyond the reach, nor at or beyond the distance already found
  // by the caller, can be taken.
  const double bound = reach_ < before ? reach_ : before;
  if (!(bound >= 0.0)) {
    return false;
  }
  // A box is passed over only when it lies farther than the bound by more
  // than the rounding of a measured distance can make up: that error grows
  // with the size of the coordinates, not of the distance.
  const double slack = 1e-9 * (1.0 + scale);
  double limit = (bound + slack) * (bound + slack);

  Found best;
  best.distance = std::numeric_limits<double>::infinity();
  // Each entry: a node and the squared distance to its box, measured when
  // it was put on the stack and tested again when it comes off, since the
  // limit may have shrunk meanwhile.
  struct Entry {
    std::uint32_t node;
    double squared;
  };
  Entry stack[kStackSize];
  int top = 0;
  stack[top++] = {shell, box_squared(nodes_[shell], spot)};
  while (top > 0) {
    const Entry entry = stack[--top];
    if (entry.squared > limit) {
      continue;
    }
    const Node &node = nodes_[entry.node];
    if (node.count == 0) {
      // The nearer child is searched first, so that the limit shrinks early;
      // a child beyond it already is not put on the stack.
      Entry near = {entry.node + 1, box_squared(nodes_[entry.node + 1], spot)};
      Entry far = {node.first, box_squared(nodes_[node.first], spot)};
      if (far.squared < near.squared) {
        std::swap(near, far);
      }
      if (far.squared <= limit) {
        stack[top++] = far;
      }
      if (near.squared <= limit) {
        stack[top++] = near;
      }
      continue;
    }
    for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
      const Segment &s = segments_[i];
      // The segment's own box first: most edges of a leaf lie farther than
      // the limit, and this needs no division.
      if (segment_box_squared(s, spot) > limit) {
        continue;
      }
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
        limit = (distance + slack) * (distance + slack);
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
