#include "edges/edge_forest.h"

#include <algorithm>
#include <cmath>

#include "edges/foot_point.h"

namespace korv {

namespace {

// The nearest float not below value, so that a bound stored as a float still
// bounds what it was computed to bound.
float float_at_least(double value) {
  float stored = float(value);
  if (double(stored) < value) {
    stored = std::nextafter(stored, INFINITY);
  }
  return stored;
}
float float_at_most(double value) {
  float stored = float(value);
  if (double(stored) > value) {
    stored = std::nextafter(stored, -INFINITY);
  }
  return stored;
}

// An edge longer than kLongEdge times the tree's mean edge length is cut into
// pieces of about kPieceLength times the mean, at most kMaxPieces: in all at
// most about half again as many items as edges.
constexpr double kLongEdge = 8.0;
constexpr double kPieceLength = 2.0;
constexpr std::uint32_t kMaxPieces = 256;

// A leaf holds up to this many edges, and a tree of up to kSmallTree edges
// is one leaf: measuring a few edges' boxes one after another costs less than
// descending through nodes whose boxes all hold the sample, as on a box.
constexpr std::uint32_t kLeafSize = 4;
constexpr std::uint32_t kSmallTree = 16;

// Every split halves a node's edges, so a hierarchy of fewer than 2^32
// edges is at most 31 levels deep; the search's stack holds one entry per
// level and one more.
constexpr int kStackSize = 64;
// Nodes a search keeps aside, nearest first, before it goes depth first.
constexpr int kFrontierSize = 128;

// A node is passed over only when it lies farther than the bound by more
// than the rounding of the distances measured: measuring an edge (its
// difference of ends, the foot point a + t.D, the difference from the spot,
// the sum of squares and its root) and a node's box carries an absolute
// error of a few dozen units in the last place of the largest coordinate
// involved, the node's or the spot's, whatever t came out as (a + t.D lies
// on the edge for any t in [0, 1]). 2^-44 is 256 units: a true bound with
// room to spare, taken per node, so that a far shell or a stray point widens
// only the margin of the nodes that hold it.
constexpr double kRounding = 0x1p-44;
// A spot with a coordinate beyond kFarSpot lies farther than kFarBound from
// every float position (2^129 - 2^128 = 2^128 > 2^127); below it, no squared
// distance a search measures comes near the largest double.
constexpr double kFarSpot = 0x1p129;
constexpr double kFarBound = 0x1p127;
// A capsule's radius is widened by this much of its own coordinates' size,
// more than the rounding of the distance to its axis can be, at the build
// and in the search.
constexpr double kCapsuleRounding = 0x1p-40;

// How far c lies outside [lo, hi] on one axis: written to select, not to
// branch, since the search meets either side as often.
inline double outside(double lo, double hi, double c) {
  const double below = lo - c;
  const double above = c - hi;
  const double out = below > above ? below : above;
  return out > 0.0 ? out : 0.0;
}

// The squared distance from p to the segment from a to a + d; t clamped to it.
inline double squared_to_axis(const Vec3 &a, const Vec3 &d, const Vec3 &p) {
  const double along = dot(d, d);
  double t = along > 0.0 ? (dot(d, p) - dot(d, a)) / along : 0.0;
  t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
  const Vec3 r = (a + t * d) - p;
  return dot(r, r);
}

// The distance from p to the cone of half-angle alpha (its sine) about the
// axis from the apex: L sin(beta - alpha) for the angle beta between p - apex
// and the axis, 0 inside, the distance to the apex beyond a right angle. The
// axis is stored as floats, so its length is 1 only to about 2^-24: both
// projections are divided by that length, since a bound scaled by it could
// exceed the true distance by far more than the search's rounding margin.
inline double cone_distance(const Vec3 &apex, const Vec3 &axis, double sine, const Vec3 &p) {
  const double axis_length = axis.length();
  const Vec3 v = p - apex;
  const double along = dot(v, axis) / axis_length;
  const double across = cross(v, axis).length() / axis_length;
  const double cosine = std::sqrt(1.0 - sine * sine);
  const double gap = across * cosine - along * sine;
  if (!(gap > 0.0)) {
    return 0.0;
  }
  return along * cosine + across * sine <= 0.0 ? v.length() : gap;
}

// A lower bound of the squared distance from p to anything in the node.
inline double node_squared(const EdgeForest::Node &node, const Vec3 &p, bool cones) {
  const double x = outside(node.lo[0], node.hi[0], p.x);
  const double y = outside(node.lo[1], node.hi[1], p.y);
  const double z = outside(node.lo[2], node.hi[2], p.z);
  double squared = x * x + y * y + z * z;
  if (cones) {
    if (node.radius >= 0.0f) {
      const double gap =
          cone_distance(to_vec3(node.axis_a), to_vec3(node.axis_b), double(node.radius), p);
      squared = gap * gap > squared ? gap * gap : squared;
    }
  } else if (node.radius >= 0.0f) {
    const Vec3 a = to_vec3(node.axis_a);
    const double gap =
        std::sqrt(squared_to_axis(a, to_vec3(node.axis_b) - a, p)) - double(node.radius);
    if (gap > 0.0 && gap * gap > squared) {
      squared = gap * gap;
    }
  }
  return squared;
}

// The squared distance from p to the box around a segment's two ends.
inline double segment_box_squared(const EdgeForest::Segment &s, const Vec3 &p) {
  const double x = outside(std::min(s.a[0], s.b[0]), std::max(s.a[0], s.b[0]), p.x);
  const double y = outside(std::min(s.a[1], s.b[1]), std::max(s.a[1], s.b[1]), p.y);
  const double z = outside(std::min(s.a[2], s.b[2]), std::max(s.a[2], s.b[2]), p.z);
  return x * x + y * y + z * z;
}

// The largest magnitude of a coordinate of the node's box.
inline double node_magnitude(const EdgeForest::Node &node) {
  float m = 0.0f;
  for (int k = 0; k < 3; ++k) {
    m = std::max({m, std::fabs(node.lo[k]), std::fabs(node.hi[k])});
  }
  return double(m);
}

inline bool beats(double distance, std::uint32_t order, std::uint32_t edge,
                  const EdgeForest::Best &best) {
  return distance < best.distance ||
         (distance == best.distance &&
          (order < best.order || (order == best.order && edge < best.edge)));
}

void store_float(const Vec3 &v, float out[3]) {
  out[0] = float(v.x);
  out[1] = float(v.y);
  out[2] = float(v.z);
}

// Twice the centre of an item's box: for a whole edge, the sum of its ends.
double centre(const EdgeForest::Item &item, int axis) {
  return double(item.lo[axis]) + double(item.hi[axis]);
}

}  // namespace

namespace {

// The nodes build_node makes for count segments: a leaf, or a node and its
// two halves.
std::size_t node_count(std::size_t count, std::uint32_t leaf_size) {
  if (count <= leaf_size) {
    return 1;
  }
  return 1 + node_count(count / 2, kLeafSize) + node_count(count - count / 2, kLeafSize);
}

}  // namespace

bool EdgeForest::make_items(const Array<Segment> &segments) {
  // Edges from one apex all start there: none is cut.
  double mean = 0.0;
  if (apex_ == nullptr && segments.size() > kSmallTree) {
    for (const Segment &s : segments) {
      mean += (to_vec3(s.b) - to_vec3(s.a)).length();
    }
    mean /= double(segments.size());
  }
  const bool cut = mean > 0.0 && std::isfinite(mean);
  longest_item_ = 0.0;
  items_.clear();
  if (!items_.reserve(segments.size())) {
    return false;
  }
  for (const Segment &s : segments) {
    const Vec3 a = to_vec3(s.a);
    const Vec3 d = to_vec3(s.b) - a;
    const double length = d.length();
    longest_item_ = std::max(longest_item_, length);
    std::uint32_t pieces = 1;
    if (cut && length > kLongEdge * mean && std::isfinite(length)) {
      pieces =
          std::uint32_t(std::min(std::ceil(length / (kPieceLength * mean)), double(kMaxPieces)));
    }
    if (pieces == 1) {
      Item item{s, {}, {}, false};
      for (int k = 0; k < 3; ++k) {
        item.lo[k] = std::min(s.a[k], s.b[k]);
        item.hi[k] = std::max(s.a[k], s.b[k]);
      }
      if (!items_.push_back(item)) {
        return false;
      }
      continue;
    }
    // Each piece's box holds its stretch of the edge with room for the
    // rounding of the ends computed here.
    const double slack = kCapsuleRounding * std::max({std::fabs(a.x), std::fabs(a.y),
                                                      std::fabs(a.z), std::fabs(a.x + d.x),
                                                      std::fabs(a.y + d.y), std::fabs(a.z + d.z)});
    for (std::uint32_t j = 0; j < pieces; ++j) {
      const Vec3 p = a + (double(j) / double(pieces)) * d;
      const Vec3 q = a + (double(j + 1) / double(pieces)) * d;
      const double from[3] = {p.x, p.y, p.z};
      const double to[3] = {q.x, q.y, q.z};
      Item item{s, {}, {}, true};
      for (int k = 0; k < 3; ++k) {
        item.lo[k] = float_at_most(std::min(from[k], to[k]) - slack);
        item.hi[k] = float_at_least(std::max(from[k], to[k]) + slack);
      }
      if (!items_.push_back(item)) {
        return false;
      }
    }
  }
  return true;
}

bool EdgeForest::add_tree(const Array<Segment> &segments, std::uint32_t &root, const float *apex) {
  root = kNone;
  if (segments.empty()) {
    return true;
  }
  apex_ = apex;
  // Both pools are given their room first, so that the tree's nodes are
  // built without a failure half way.
  const bool room = make_items(segments) &&
                    nodes_.make_room(node_count(items_.size(), kSmallTree)) &&
                    segments_.make_room(items_.size());
  if (room) {
    base_ = std::uint32_t(segments_.size());
    root = build_node(base_, base_ + std::uint32_t(items_.size()), kSmallTree);
    for (const Item &item : items_) {
      (void)segments_.push_back(item.segment);  // room made above
    }
  }
  apex_ = nullptr;
  items_.reset();
  return room;
}

std::uint32_t EdgeForest::build_node(std::uint32_t begin, std::uint32_t end,
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
    const Item &item = items_[i - base_];
    for (int k = 0; k < 3; ++k) {
      node.lo[k] = std::min(node.lo[k], item.lo[k]);
      node.hi[k] = std::max(node.hi[k], item.hi[k]);
      centre_lo[k] = std::min(centre_lo[k], centre(item, k));
      centre_hi[k] = std::max(centre_hi[k], centre(item, k));
    }
  }
  // A leaf's few edges are measured against their own boxes: bounds of its
  // own would cost the build more than they spare a search.
  node.radius = -1.0f;
  if (end - begin > leaf_size) {
    if (apex_ != nullptr) {
      fit_cone(node, begin, end);
    } else {
      fit_capsule(node, begin, end);
    }
  }
  (void)nodes_.push_back(node);  // add_tree made room for every node
  if (end - begin <= leaf_size) {
    nodes_[self].first = begin;
    nodes_[self].count = end - begin;
    return self;
  }
  // Halves by the edges' centres along the widest spread of centres; equal
  // centres are ordered by rank, so that every build makes the same tree.
  int axis = 0;
  for (int k = 1; k < 3; ++k) {
    if (centre_hi[k] - centre_lo[k] > centre_hi[axis] - centre_lo[axis]) {
      axis = k;
    }
  }
  const std::uint32_t middle = begin + (end - begin) / 2;
  Item *items = items_.data() - base_;
  std::nth_element(
      items + begin, items + middle, items + end, [axis](const Item &ix, const Item &iy) {
        const Segment &x = ix.segment;
        const Segment &y = iy.segment;
        const double cx = centre(ix, axis);
        const double cy = centre(iy, axis);
        return cx < cy ||
               (cx == cy && (x.order < y.order || (x.order == y.order && x.edge < y.edge)));
      });
  build_node(begin, middle, kLeafSize);
  const std::uint32_t second = build_node(middle, end, kLeafSize);
  nodes_[self].first = second;
  nodes_[self].count = 0;
  return self;
}

// A capsule around an axis along the node's edges: the longest edge's
// direction, with every edge added to it the same way round, through the
// box's centre and as long as the ends project. Every end lies within the
// radius, so every edge does (a capsule is convex). Kept only where it is
// much narrower than the box, so that a mesh of short edges or edges along
// the axes pays nothing for it.
void EdgeForest::fit_capsule(Node &node, std::uint32_t begin, std::uint32_t end) const {
  node.radius = -1.0f;
  double extent[3];
  for (int k = 0; k < 3; ++k) {
    extent[k] = double(node.hi[k]) - double(node.lo[k]);
  }
  std::sort(extent, extent + 3);
  if (!(extent[1] > 0.0) || !std::isfinite(extent[2])) {
    return;
  }
  // No edge of the tree is long enough for a capsule here: most nodes of
  // most meshes, told without a walk of their edges.
  if (!(4.0 * longest_item_ >= extent[1])) {
    return;
  }
  Vec3 longest;
  for (std::uint32_t i = begin; i < end; ++i) {
    if (items_[i - base_].piece) {
      return;  // pieces of long edges are bounded by their boxes alone
    }
    const Vec3 d = to_vec3(items_[i - base_].segment.b) - to_vec3(items_[i - base_].segment.a);
    if (dot(d, d) > dot(longest, longest)) {
      longest = d;
    }
  }
  // Short edges (most nodes of most meshes) split into boxes that fit them
  // well enough: no capsule is tried.
  if (!(4.0 * longest.length() >= extent[1])) {
    return;
  }
  Vec3 sum;
  for (std::uint32_t i = begin; i < end; ++i) {
    const Vec3 d = to_vec3(items_[i - base_].segment.b) - to_vec3(items_[i - base_].segment.a);
    sum = sum + (dot(d, longest) < 0.0 ? -1.0 : 1.0) * d;
  }
  const double length = sum.length();
  if (!(length > 0.0) || !std::isfinite(length)) {
    return;
  }
  const Vec3 u{sum.x / length, sum.y / length, sum.z / length};
  const Vec3 mid{(double(node.lo[0]) + double(node.hi[0])) / 2.0,
                 (double(node.lo[1]) + double(node.hi[1])) / 2.0,
                 (double(node.lo[2]) + double(node.hi[2])) / 2.0};
  double s_lo = INFINITY, s_hi = -INFINITY;
  for (std::uint32_t i = begin; i < end; ++i) {
    for (const float *p : {items_[i - base_].segment.a, items_[i - base_].segment.b}) {
      const double s = dot(to_vec3(p) - mid, u);
      s_lo = std::min(s_lo, s);
      s_hi = std::max(s_hi, s);
    }
  }
  float axis_a[3], axis_b[3];
  store_float(mid + s_lo * u, axis_a);
  store_float(mid + s_hi * u, axis_b);
  const Vec3 a = to_vec3(axis_a);
  const Vec3 d = to_vec3(axis_b) - a;
  double squared = 0.0;
  double magnitude = node_magnitude(node);
  for (int k = 0; k < 3; ++k) {
    magnitude = std::max({magnitude, double(std::fabs(axis_a[k])), double(std::fabs(axis_b[k]))});
  }
  for (std::uint32_t i = begin; i < end; ++i) {
    for (const float *p : {items_[i - base_].segment.a, items_[i - base_].segment.b}) {
      squared = std::max(squared, squared_to_axis(a, d, to_vec3(p)));
    }
  }
  const double radius = std::sqrt(squared) + kCapsuleRounding * magnitude;
  if (!(4.0 * radius < extent[1]) || !std::isfinite(magnitude)) {
    return;
  }
  const float stored = float_at_least(radius);
  std::copy(axis_a, axis_a + 3, node.axis_a);
  std::copy(axis_b, axis_b + 3, node.axis_b);
  node.radius = stored;
}

// The cone from the apex around every edge's direction: the mean of the
// unit directions as its axis, the widest sine from it as its half-angle.
// The sines are measured against the axis as stored, divided by its length
// (as the search measures), so they err only by the rounding of unit
// vectors, a few units in 2^-52, which the widening by 2^-30 covers many
// times over. None when the edges spread over a right angle or more.
void EdgeForest::fit_cone(Node &node, std::uint32_t begin, std::uint32_t end) const {
  node.radius = -1.0f;
  const Vec3 apex = to_vec3(apex_);
  auto direction = [&](const Segment &s) {
    const Vec3 a = to_vec3(s.a) - apex;
    const Vec3 b = to_vec3(s.b) - apex;
    Vec3 w = dot(a, a) > dot(b, b) ? a : b;
    return w.normalize();
  };
  Vec3 sum;
  for (std::uint32_t i = begin; i < end; ++i) {
    sum = sum + direction(items_[i - base_].segment);
  }
  float axis[3];
  store_float(sum.normalize(), axis);
  Vec3 u = to_vec3(axis);
  if (!(dot(u, u) > 0.5)) {
    return;
  }
  u.normalize();
  double sine = 0.0;
  for (std::uint32_t i = begin; i < end; ++i) {
    const Vec3 w = direction(items_[i - base_].segment);
    if (dot(w, w) == 0.0) {
      continue;  // an edge of length 0 at the apex: never taken
    }
    if (!(dot(w, u) > 0.0)) {
      return;
    }
    sine = std::max(sine, cross(w, u).length());
  }
  sine += 0x1p-30;
  if (!(sine < 1.0)) {
    return;
  }
  const float stored = float_at_least(sine);
  std::copy(apex_, apex_ + 3, node.axis_a);
  std::copy(axis, axis + 3, node.axis_b);
  node.radius = stored;
}

bool EdgeForest::search(std::uint32_t root, const Vec3 &spot, double reach,
                        std::uint32_t order_base, Best &best, bool cones) const {
  // A coordinate that is not a number would rule out no node.
  if (root >= nodes_.size() ||
      !(std::isfinite(spot.x) && std::isfinite(spot.y) && std::isfinite(spot.z))) {
    return false;
  }
  const double spot_magnitude = std::max({std::fabs(spot.x), std::fabs(spot.y), std::fabs(spot.z)});
  // Nothing beyond the reach, nor beyond the best distance, can be taken.
  double bound = reach < best.distance ? reach : best.distance;
  if (!(bound >= 0.0)) {
    return false;
  }
  // Every edge lies at float positions, below 2^128 in every coordinate, so
  // a spot beyond kFarSpot lies farther than kFarBound from all of them. Such
  // a spot is refused outright: its squared distances would overflow to
  // infinity along with the bound's, and then no node could be passed over.
  if (spot_magnitude > kFarSpot && bound <= kFarBound) {
    return false;
  }
  // The margin is taken only for a node beyond the bound itself: the
  // bound's own square rounds by far less than any margin.
  auto beyond = [&](double squared, const Node &node) {
    if (!(squared > bound * bound)) {
      return false;
    }
    const double limit = bound + kRounding * (node_magnitude(node) + spot_magnitude);
    return squared > limit * limit;
  };
  // Each entry: a node and the squared distance to its bounds, measured
  // when it was put aside and tested again when it is taken up, since the
  // bound may have shrunk meanwhile.
  struct Entry {
    std::uint32_t node;
    double squared;
  };
  bool found = false;
  auto visit_leaf = [&](const Node &node) {
    for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
      const Segment &s = segments_[i];
      // The segment's own box first: most edges of a leaf lie farther than
      // the bound, and this needs no division.
      if (beyond(segment_box_squared(s, spot), node)) {
        continue;
      }
      const Vec3 a = to_vec3(s.a);
      const Vec3 d = to_vec3(s.b) - a;
      double t = 0.0;
      if (!foot_parameter(a, d, spot, t) || !(t >= 0.0 && t <= 1.0)) {
        continue;
      }
      const double squared = squared_foot_distance(a, d, spot, t);
      const double distance = std::sqrt(squared);
      const std::uint32_t order = order_base + s.order;
      if (distance <= reach && beats(distance, order, s.edge, best)) {
        best = {distance, squared, t, order, s.edge};
        bound = distance;
        found = true;
      }
    }
  };
  // An inner node's children with their distances, each unless it lies
  // beyond the bound already.
  auto for_children = [&](const Entry &entry, const Node &node, auto take) {
    const Entry first = {entry.node + 1, node_squared(nodes_[entry.node + 1], spot, cones)};
    const Entry second = {node.first, node_squared(nodes_[node.first], spot, cones)};
    const bool second_nearer = second.squared < first.squared;
    const Entry &near = second_nearer ? second : first;
    const Entry &far = second_nearer ? first : second;
    if (!beyond(far.squared, nodes_[far.node])) {
      take(far);
    }
    if (!beyond(near.squared, nodes_[near.node])) {
      take(near);
    }
  };
  // A subtree searched depth first, the nearer child first: where the
  // frontier below is full.
  auto depth_first = [&](const Entry &start) {
    Entry stack[kStackSize];
    int top = 0;
    stack[top++] = start;
    while (top > 0) {
      const Entry entry = stack[--top];
      const Node &node = nodes_[entry.node];
      if (beyond(entry.squared, node)) {
        continue;
      }
      if (node.count == 0) {
        for_children(entry, node, [&](const Entry &child) { stack[top++] = child; });
      } else {
        visit_leaf(node);
      }
    }
  };
  // Nodes are taken up nearest first, so that the bound shrinks to the
  // nearest edge's distance before the nodes beyond it are met: with depth
  // first order, a far edge met first (the long side of a large cap) lets a
  // search into most of the tree before the near ones bring the bound down.
  // The frontier lives on the stack; a child that finds it full is searched
  // depth first at once.
  Entry frontier[kFrontierSize];
  int size = 0;
  auto later = [](const Entry &x, const Entry &y) { return x.squared > y.squared; };
  auto put_aside = [&](const Entry &entry) {
    if (size == kFrontierSize) {
      depth_first(entry);
      return;
    }
    frontier[size++] = entry;
    std::push_heap(frontier, frontier + size, later);
  };
  put_aside({root, node_squared(nodes_[root], spot, cones)});
  while (size > 0) {
    std::pop_heap(frontier, frontier + size, later);
    const Entry entry = frontier[--size];
    const Node &node = nodes_[entry.node];
    if (beyond(entry.squared, node)) {
      continue;
    }
    if (node.count == 0) {
      for_children(entry, node, put_aside);
    } else {
      visit_leaf(node);
    }
  }
  return found;
}

void EdgeForest::gather(std::uint32_t root, const Vec3 &spot, double reach, bool cones, Visit visit,
                        void *context) const {
  if (root >= nodes_.size() || !(reach >= 0.0) ||
      !(std::isfinite(spot.x) && std::isfinite(spot.y) && std::isfinite(spot.z))) {
    return;
  }
  const double spot_magnitude = std::max({std::fabs(spot.x), std::fabs(spot.y), std::fabs(spot.z)});
  if (spot_magnitude > kFarSpot && reach <= kFarBound) {
    return;
  }
  // As the search passes nodes over, with the reach as a bound that never
  // shrinks: the margin keeps every edge the caller's own measure could take.
  auto beyond = [&](double squared, const Node &node) {
    if (!(squared > reach * reach)) {
      return false;
    }
    const double limit = reach + kRounding * (node_magnitude(node) + spot_magnitude);
    return squared > limit * limit;
  };
  // Both children go on the stack after their parent leaves it, so it holds
  // at most one entry per level and one more.
  std::uint32_t stack[kStackSize];
  int top = 0;
  stack[top++] = root;
  while (top > 0) {
    const Node &node = nodes_[stack[--top]];
    if (beyond(node_squared(node, spot, cones), node)) {
      continue;
    }
    if (node.count == 0) {
      stack[top++] = std::uint32_t(&node - nodes_.data()) + 1;
      stack[top++] = node.first;
      continue;
    }
    for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
      if (!beyond(segment_box_squared(segments_[i], spot), node)) {
        visit(context, segments_[i]);
      }
    }
  }
}

std::size_t EdgeForest::memory_bytes() const {
  return nodes_.capacity() * sizeof(Node) + segments_.capacity() * sizeof(Segment);
}

void EdgeForest::shrink_to_fit() {
  nodes_.shrink_to_fit();
  segments_.shrink_to_fit();
}

}  // namespace korv
