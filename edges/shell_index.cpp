#include "edges/shell_index.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "edges/foot_point.h"

namespace korv {

namespace {

bool finite(const std::array<float, 3> &v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

}  // namespace

bool ShellIndex::Builder::start(std::size_t point_count) {
  if (!parent_.resize(point_count)) {
    return false;
  }
  std::iota(parent_.begin(), parent_.end(), 0u);
  return true;
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

std::unique_ptr<ShellIndex> ShellIndex::Builder::build(const Array<EdgeEnds> &edge_ends,
                                                       const Array<std::array<float, 3>> &positions,
                                                       double reach) {
  auto index = std::make_unique<ShellIndex>();
  const std::size_t points = parent_.size();
  Array<std::uint32_t> start;
  Array<std::uint32_t> shell_of_edge;
  if (index == nullptr || !start.assign(points + 1, 0) || !shell_of_edge.resize(edge_ends.size())) {
    return nullptr;
  }
  index->reach_ = reach;

  // The edges grouped by the shell of their first end, each group in edge
  // list order. An edge with an end that is not a finite position has no
  // foot point anywhere and is left out.
  for (std::size_t e = 0; e < edge_ends.size(); ++e) {
    const auto [a, b] = edge_ends[e];
    const bool usable = finite(positions[a]) && finite(positions[b]);
    shell_of_edge[e] = usable ? root(a) : kNoShell;
    if (usable) {
      start[shell_of_edge[e] + 1] += 1;
    }
  }
  std::partial_sum(start.begin(), start.end(), start.begin());
  // The usable edges' indices grouped by shell; each shell's segments are
  // made from them only when its hierarchy is built, so that the segments
  // of all the shells are never held at once.
  Array<std::uint32_t> grouped;
  Array<std::uint32_t> cursor;
  if (!grouped.resize(start[points]) || !cursor.assign(start.begin(), start.end() - 1)) {
    return nullptr;
  }
  for (std::size_t e = 0; e < edge_ends.size(); ++e) {
    if (shell_of_edge[e] != kNoShell) {
      grouped[cursor[shell_of_edge[e]]++] = std::uint32_t(e);
    }
  }
  shell_of_edge.reset();
  cursor.reset();

  // One hierarchy per shell with edges, kept at each shell's representative
  // entry.
  Array<std::uint32_t> shell_root;
  Array<EdgeForest::Segment> group;
  if (!shell_root.assign(points, kNoShell)) {
    return nullptr;
  }
  for (std::size_t r = 0; r < points; ++r) {
    if (start[r + 1] == start[r]) {
      continue;
    }
    group.clear();
    if (!group.make_room(start[r + 1] - start[r])) {
      return nullptr;
    }
    for (std::uint32_t k = start[r]; k < start[r + 1]; ++k) {
      const std::uint32_t e = grouped[k];
      const auto [a, b] = edge_ends[e];
      EdgeForest::Segment s;
      std::copy(positions[a].begin(), positions[a].end(), s.a);
      std::copy(positions[b].begin(), positions[b].end(), s.b);
      s.edge = e;
      s.order = 0;
      (void)group.push_back(s);  // room was made
    }
    if (!index->forest_.add_tree(group, shell_root[r])) {
      return nullptr;
    }
  }
  if (!index->point_shell_.resize(points)) {
    return nullptr;
  }
  for (std::size_t p = 0; p < points; ++p) {
    index->point_shell_[p] = shell_root[root(std::uint32_t(p))];
  }
  index->forest_.shrink_to_fit();
  return index;
}

bool ShellIndex::search(std::uint32_t shell, const Vec3 &spot, EdgeForest::Best &best) const {
  return forest_.search(shell, spot, reach_, 0, best);
}

std::size_t ShellIndex::memory_bytes() const {
  return sizeof(ShellIndex) + point_shell_.capacity() * sizeof(std::uint32_t) +
         forest_.memory_bytes();
}

}  // namespace korv
