#include "edges/edge_build.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <utility>

#include "edges/build_work_area.h"
#include "edges/edge_pair_set.h"
#include "runtime/checked_memory.h"
#include "runtime/host_boundary.h"

namespace korv {

namespace {

// The record handed to the host as the user data of all four scans. The
// first five fields are the build's inputs; the rest is working state that
// keeps every pass linear in the mesh's size.
struct EdgeScanContext {
  LWMeshInfo *mesh = nullptr;
  ObjectEdgeDatabase *database = nullptr;
  // The cache's working memory: the large arrays below take their storage
  // from it and give it back when done with it.
  BuildWorkArea *work = nullptr;
  double cos_threshold = 0.0;
  std::int32_t open_edge = 0;
  std::int32_t use_deform = 0;
  EdgeKind edge_kind = EdgeKind::Both;
  bool list_polygons = false;

  // Set when a callback could not do its work (memory ran out, or the mesh
  // reports more corners than a database can hold): the scan is asked to
  // stop and the build fails as if the host's scan had, even should the
  // host not pass the callback's result on.
  bool stopped = false;

  // Corner uses counted by the count pass: the sum of the sizes of the
  // polygons of three or more vertices.
  std::int64_t corner_uses = 0;

  // The count pass's corners' point keys, in the order met: the points are
  // counted and mapped once the pass is over (map_counted_points).
  Array<std::uintptr_t> corner_keys;
  // With list_polygons, the count pass's polygons, listed once it is over.
  Array<std::uintptr_t> polygon_keys;

  // Position of the polygon in the host's scan order, counted anew per pass.
  std::uint32_t scan_ordinal = 0;

  // For each point entry (in map order), the scan ordinals of its polygons,
  // parallel to its polygons array: ordinals[first[i] .. first[i] + fill);
  // first[size] is the total of corner uses.
  // Both lists come in scan order, so each is sorted and two of them can be
  // intersected by a walk of both side by side, or by binary search, instead
  // of a walk of one inside the other.
  Array<std::uint32_t> first;
  Array<std::uint32_t> ordinals;

  // Unordered end pairs of every edge recorded so far, open edges included.
  EdgePairSet recorded_pairs;

  // The edge pass's unit polygon normals by scan ordinal, each made once:
  // by the polygon's own visit or by the first side that meets it as a
  // neighbour, whichever comes first. Made when the first neighbour is
  // found: until then no polygon's normal is wanted twice (a mesh of loose
  // polygons never wants one twice), and the polygons visited before are
  // made afresh, from the same reads, should a later side meet them.
  Array<Vec3> unit_normals;
  Array<std::uint8_t> have_unit_normal;
  // The polygons scanned by the fill pass: how many normals the edge pass
  // keeps.
  std::uint32_t filled_polygons = 0;

  // With an edge kind to keep, the entry index of the next and of the
  // previous corner of each corner use, parallel to ordinals (kNoEntry where
  // that corner's point was not counted): which way a neighbour runs along a
  // side, read from the uses of either end.
  Array<std::uint32_t> next_corner;
  Array<std::uint32_t> previous_corner;
  // Set when the fill left out a use beyond those counted (the host's mesh
  // changed since the count): a side's next corner may then be stored
  // without the following use, so both ends' uses are read in full.
  bool fill_dropped_uses = false;

  // The polygons that hold both ends of a side whose ends have more than
  // kShortLists uses together, found while filling (see note_containers):
  // for most polygons, per pair of their points, the first two such
  // polygons; the others by the runs of their points' uses.
  PairContainers pair_containers;
  // The runs as (entry, use) in the order met, then by entry:
  // wide_uses[wide_first[i] .. wide_first[i + 1]).
  Array<std::pair<std::uint32_t, std::uint32_t>> wide_runs;
  Array<std::uint32_t> wide_first;
  Array<std::uint32_t> wide_uses;
  // The polygon at hand's points, once each: (entry, where its run of uses
  // begins in the entry's list).
  Array<std::pair<std::uint32_t, std::uint32_t>> polygon_runs;
  Array<std::uint32_t> heavy_runs;

  // The points of the corners of the polygon at hand, read once each, and
  // their entry indices.
  Array<LWPntID> corner_points;
  Array<std::ptrdiff_t> corner_entries;
  // The entry indices of each recorded edge's two ends, parallel to the list.
  // It grows as edges are found, from the block of the last build's ends
  // where the area kept one that fits their count.
  Array<EdgeEnds> edge_ends;

  // Where each point entry's edges begin in the map's edge pool, and their
  // total last, filled in one sweep after the edge pass.
  Array<std::uint32_t> edge_first;
};

constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;

Vec3 point_position(LWMeshInfo *mesh, LWPntID point, std::int32_t use_deform) {
  LWFVector pos = {0.0f, 0.0f, 0.0f};
  if (use_deform != 0) {
    mesh->pntOtherPos(mesh, point, pos);
  } else {
    mesh->pntBasePos(mesh, point, pos);
  }
  return to_vec3(pos);
}

EdgeScanContext &context_of(void *user_data) {
  return *static_cast<EdgeScanContext *>(user_data);
}

// Runs one callback body inside the host's scan. Anything it throws stops
// the scan instead of unwinding through the host's frames, and so does a
// body that reports it cannot go on.
template <class Body>
LWScanResult guarded(EdgeScanContext &ctx, Body body) {
  const bool go_on = at_host_boundary([&] { return body(); }, [] { return false; });
  if (!go_on) {
    ctx.stopped = true;
    return 1;
  }
  return 0;
}

// The fill and edge passes meet a polygon larger than everything the count
// pass counted only when the host's mesh is no longer the one counted (or
// its polSize is not to be trusted): its corners cannot all be recorded,
// and walking billions of them would only stall the render.
bool larger_than_counted(const EdgeScanContext &ctx, int n) {
  return n > ctx.corner_uses;
}

LWScanResult count_point_polygons(void *user_data, LWPolID polygon) {
  EdgeScanContext &ctx = context_of(user_data);
  return guarded(ctx, [&] {
    LWMeshInfo *mesh = ctx.mesh;
    // Every polygon the mesh lists, whatever its size: the host knows each.
    if (ctx.list_polygons &&
        !ctx.polygon_keys.push_back(reinterpret_cast<std::uintptr_t>(polygon))) {
      return false;
    }
    const int n = mesh->polSize(mesh, polygon);
    if (n < 3) {
      return true;
    }
    // Checked before the corners are walked, so that no count can pass the
    // 32-bit range however often the host reports a point, and a polygon
    // that claims billions of corners is refused at once.
    if (n > kMaxCornerUses - ctx.corner_uses) {
      return false;
    }
    ctx.corner_uses += n;
    if (!ctx.corner_keys.make_room(std::size_t(n))) {
      return false;
    }
    for (int i = 0; i < n; ++i) {
      (void)ctx.corner_keys.push_back(point_key(mesh->polVertex(mesh, polygon, i)));
    }
    return true;
  });
}

// Fills the point map from the count pass's corner keys: one record per
// distinct key, in ascending key order, its polygon_count the key's uses.
//
// Hosts commonly number their points or lay them out in one array, so the
// keys usually lie on a grid of few empty places: each key is then counted
// in its place on the grid, and the grid read in order gives the records
// sorted, with no hashing and no sort. The grid's spacing is the largest
// power of two dividing every key's distance from the lowest. Keys spread
// more thinly than two grid places per corner use go through the map's
// hash table and sort instead. False when memory runs out.
bool map_counted_points(EdgeScanContext &ctx) {
  const Array<std::uintptr_t> &keys = ctx.corner_keys;
  PointMap &points = ctx.database->points;
  if (keys.empty()) {
    return true;
  }
  // The lowest bit in which any key differs from the first is the lowest in
  // which any differs from the lowest key.
  std::uintptr_t lowest = keys[0];
  std::uintptr_t highest = keys[0];
  std::uintptr_t spread = 0;
  for (std::uintptr_t key : keys) {
    lowest = std::min(lowest, key);
    highest = std::max(highest, key);
    spread |= key ^ keys[0];
  }
  const int shift = spread == 0 ? 0 : std::countr_zero(spread);
  const std::uintptr_t last_place = (highest - lowest) >> shift;
  if (last_place / 2 >= keys.size()) {
    for (std::uintptr_t key : keys) {
      PointRecord *record = points.find_or_insert(reinterpret_cast<LWPntID>(key));
      if (record == nullptr) {
        return false;
      }
      record->polygon_count += 1;
    }
    return points.sort_keys();
  }
  const std::size_t places = std::size_t(last_place) + 1;
  // Freed as soon as counted: nothing later in the build fits its size, and
  // kept in the area it would idle there through the rest of the build,
  // above the peak of a build that freed it.
  Array<std::int32_t> uses;
  if (!uses.assign(places, 0)) {
    return false;
  }
  for (std::uintptr_t key : keys) {
    uses[(key - lowest) >> shift] += 1;
  }
  const std::size_t distinct =
      places - std::size_t(std::count(uses.begin(), uses.end(), std::int32_t{0}));
  if (!points.begin_sorted(distinct)) {
    return false;
  }
  for (std::size_t i = 0; i < places; ++i) {
    if (uses[i] != 0) {
      points.append_sorted(lowest + (std::uintptr_t(i) << shift)).polygon_count = uses[i];
    }
  }
  uses.reset();
  return points.end_sorted();
}

// Up to this many polygons at both ends together, find_neighbour walks the
// two lists side by side.
constexpr std::size_t kShortLists = 32;
// A polygon is found by its pairs of points while it notes at most this
// many pairs per point, else by the runs of its points' uses.
constexpr std::size_t kPairedHeavyPoints = 8;

// Notes the polygon of ordinal, whose points (once each) and where their
// runs of uses begin are in ctx.polygon_runs, for the sides whose ends have
// more than kShortLists uses together, so that find_neighbour need not
// search two long lists for it. One end of such a side has more than half
// of them: most polygons have none or a few such points, and note each
// such point with every other point of theirs. So does a polygon of few
// points that are all such (X_i, Y_j and seven points common to all, over
// a grid of i and j): its side X_i-Y_j has no other polygon, which only its
// pair tells at once, while the runs of X_i and Y_j would be read in full.
// A polygon that would note more pairs than kPairedHeavyPoints per point (a
// large cap of a star of caps) leaves the runs of all its points instead,
// found by the few polygons that are like it. False when memory runs out.
bool note_containers(EdgeScanContext &ctx, std::uint32_t ordinal) {
  const PointMap &points = ctx.database->points;
  const auto &runs = ctx.polygon_runs;
  auto uses = [&](std::size_t k) {
    return std::size_t(points.entry(runs[k].first).second.polygon_count);
  };
  ctx.heavy_runs.clear();
  if (!ctx.heavy_runs.make_room(runs.size())) {
    return false;
  }
  for (std::size_t k = 0; k < runs.size(); ++k) {
    if (uses(k) > kShortLists / 2) {
      (void)ctx.heavy_runs.push_back(std::uint32_t(k));
    }
  }
  // Each such point is noted with every other point, a pair of two such
  // points once: at most this many pairs.
  const std::size_t heavy = ctx.heavy_runs.size();
  const std::size_t pairs = heavy * (runs.size() - 1) - heavy * (heavy - 1) / 2;
  if (pairs > kPairedHeavyPoints * runs.size()) {
    return ctx.wide_runs.append(runs.begin(), runs.end());
  }
  for (std::uint32_t h : ctx.heavy_runs) {
    for (std::size_t k = 0; k < runs.size(); ++k) {
      // A pair of two such points is noted from its first.
      const bool noted_already = k < h && uses(k) > kShortLists / 2;
      if (k != h && !noted_already && uses(h) + uses(k) > kShortLists) {
        ctx.pair_containers.note(runs[h].first, runs[k].first, ordinal, runs[h].second,
                                 runs[k].second);
      }
    }
  }
  return !ctx.pair_containers.failed();
}

// Lists each point entry's runs of uses left by note_containers, in scan
// order: wide_uses[wide_first[i] .. wide_first[i + 1]). False when memory
// runs out.
bool index_wide_runs(EdgeScanContext &ctx) {
  const std::size_t count = ctx.database->points.size();
  Array<std::uint32_t> cursor;
  if (!ctx.wide_first.assign(count + 1, 0)) {
    return false;
  }
  for (const auto &run : ctx.wide_runs) {
    ctx.wide_first[run.first + 1] += 1;
  }
  for (std::size_t i = 0; i < count; ++i) {
    ctx.wide_first[i + 1] += ctx.wide_first[i];
  }
  if (!ctx.wide_uses.assign(ctx.wide_runs.size(), 0) ||
      !cursor.assign(ctx.wide_first.begin(), ctx.wide_first.end() - 1)) {
    return false;
  }
  for (const auto &run : ctx.wide_runs) {
    ctx.wide_uses[cursor[run.first]++] = run.second;
  }
  ctx.wide_runs.reset();
  return true;
}

LWScanResult fill_point_polygons(void *user_data, LWPolID polygon) {
  EdgeScanContext &ctx = context_of(user_data);
  return guarded(ctx, [&] {
    LWMeshInfo *mesh = ctx.mesh;
    const std::uint32_t ordinal = ctx.scan_ordinal++;
    const int n = mesh->polSize(mesh, polygon);
    if (n < 3) {
      return true;
    }
    if (larger_than_counted(ctx, n)) {
      return false;
    }
    PointMap &points = ctx.database->points;
    // With sides tracked, each stored use learns its previous corner's entry
    // at once and its next corner's when that corner comes; the first use
    // learns its previous corner last, and the last its next.
    const bool track_sides = !ctx.next_corner.empty();
    std::uint32_t previous_slot = kNoEntry;
    std::uint32_t previous_entry = kNoEntry;
    std::uint32_t first_entry = kNoEntry;
    std::uint32_t first_slot = kNoEntry;
    ctx.polygon_runs.clear();
    if (!ctx.polygon_runs.make_room(std::size_t(n))) {
      return false;
    }
    for (int i = 0; i < n; ++i) {
      const std::ptrdiff_t index = points.entry_index(mesh->polVertex(mesh, polygon, i));
      const std::uint32_t entry = index < 0 ? kNoEntry : std::uint32_t(index);
      if (track_sides) {
        if (previous_slot != kNoEntry) {
          ctx.next_corner[previous_slot] = entry;
        }
        previous_slot = kNoEntry;
        first_entry = i == 0 ? entry : first_entry;
      }
      const std::uint32_t entry_before = previous_entry;
      previous_entry = entry;
      // A host whose mesh changed since the count may show a point that was
      // not counted, or more uses than were counted: such corners are left
      // out rather than written past the array.
      if (index < 0) {
        continue;
      }
      PointRecord &record = points.entry(std::size_t(index)).second;
      if (record.polygon_fill >= record.polygon_count) {
        ctx.fill_dropped_uses = true;
        continue;
      }
      const auto use = std::uint32_t(record.polygon_fill);
      const std::uint32_t slot = ctx.first[std::size_t(index)] + use;
      // The point's first use in this polygon begins a run of its uses.
      if (use == 0 || ctx.ordinals[slot - 1] != ordinal) {
        (void)ctx.polygon_runs.push_back({entry, use});  // room for every corner was made
      }
      ctx.ordinals[slot] = ordinal;
      record.polygons[std::size_t(record.polygon_fill)] = polygon;
      record.polygon_fill += 1;
      if (track_sides) {
        ctx.previous_corner[slot] = entry_before;
        first_slot = i == 0 ? slot : first_slot;
        previous_slot = slot;
      }
    }
    if (track_sides && previous_slot != kNoEntry) {
      ctx.next_corner[previous_slot] = first_entry;
    }
    if (track_sides && first_slot != kNoEntry) {
      ctx.previous_corner[first_slot] = previous_entry;
    }
    return note_containers(ctx, ordinal);
  });
}

// The first polygon other than the one of ordinal own that uses both a and b,
// in the order of a's polygon list, and its ordinal; null when there is none.
// uses receives where its uses begin in a's and in b's list.
LWPolID find_neighbour(EdgeScanContext &ctx, std::size_t a, std::size_t b, std::uint32_t own,
                       std::uint32_t &ordinal, std::size_t (&uses)[2]) {
  PointMap &points = ctx.database->points;
  const PointRecord &ra = points.entry(a).second;
  const PointRecord &rb = points.entry(b).second;
  const std::uint32_t *oa = ctx.ordinals.data() + ctx.first[a];
  const std::uint32_t *ob = ctx.ordinals.data() + ctx.first[b];
  const std::size_t na = std::size_t(ra.polygon_fill);
  const std::size_t nb = std::size_t(rb.polygon_fill);
  // Both lists follow the scan order, so the common polygon that comes first
  // in a's list is the common one with the lowest ordinal. Short lists (most
  // points have a handful of polygons) are walked side by side, meeting
  // their common polygons in that order.
  if (na + nb <= kShortLists) {
    for (std::size_t i = 0, j = 0; i < na && j < nb;) {
      const std::uint32_t x = oa[i];
      const std::uint32_t y = ob[j];
      if (x == y && x != own) {
        ordinal = x;
        uses[0] = i;
        uses[1] = j;
        return ra.polygons[i];
      }
      i += x <= y ? 1 : 0;
      j += y <= x ? 1 : 0;
    }
    return nullptr;
  }
  // A side from a point to itself: the point's first polygon but own.
  if (a == b) {
    const std::size_t i = oa[0] != own ? 0 : std::size_t(std::upper_bound(oa, oa + na, own) - oa);
    if (i == na) {
      return nullptr;
    }
    ordinal = oa[i];
    uses[0] = uses[1] = i;
    return ra.polygons[i];
  }
  // Longer ones: the polygons noted for the pair while filling, and those
  // that left the runs of their points instead, whichever comes first.
  bool found = false;
  if (const PairContainers::Found *noted =
          ctx.pair_containers.find(std::uint32_t(a), std::uint32_t(b))) {
    for (std::uint32_t k = 0; k < noted->count; ++k) {
      const PairContainers::Container &c = noted->first[k];
      if (c.ordinal != own) {
        found = true;
        ordinal = c.ordinal;
        uses[0] = a < b ? c.use_low : c.use_high;
        uses[1] = a < b ? c.use_high : c.use_low;
        break;
      }
    }
  }
  const std::uint32_t *wa = ctx.wide_uses.data() + ctx.wide_first[a];
  const std::uint32_t *wb = ctx.wide_uses.data() + ctx.wide_first[b];
  const std::size_t nwa = ctx.wide_first[a + 1] - ctx.wide_first[a];
  const std::size_t nwb = ctx.wide_first[b + 1] - ctx.wide_first[b];
  // Walk the shorter list of runs and look each up in the longer, by ordinal.
  const bool walk_a = nwa <= nwb;
  const std::uint32_t *walk = walk_a ? wa : wb;
  const std::uint32_t *look = walk_a ? wb : wa;
  const std::uint32_t *walk_ordinals = walk_a ? oa : ob;
  const std::uint32_t *look_ordinals = walk_a ? ob : oa;
  const std::size_t nlook = walk_a ? nwb : nwa;
  for (std::size_t i = 0; i < (walk_a ? nwa : nwb); ++i) {
    const std::uint32_t polygon = walk_ordinals[walk[i]];
    if (found && polygon >= ordinal) {
      break;
    }
    if (polygon == own) {
      continue;
    }
    const std::uint32_t *hit = std::lower_bound(
        look, look + nlook, polygon,
        [&](std::uint32_t use, std::uint32_t key) { return look_ordinals[use] < key; });
    if (hit != look + nlook && look_ordinals[*hit] == polygon) {
      found = true;
      ordinal = polygon;
      uses[walk_a ? 0 : 1] = walk[i];
      uses[walk_a ? 1 : 0] = *hit;
      break;
    }
  }
  return found ? ra.polygons[uses[0]] : nullptr;
}

// Whether the polygon of ordinal, whose uses of entry from begin at position
// first of its list, runs from there straight to entry to at one of them.
bool runs_from(const EdgeScanContext &ctx, std::size_t from, std::size_t first, std::uint32_t to,
               std::uint32_t ordinal) {
  const std::size_t base = ctx.first[from];
  const auto fill = std::size_t(ctx.database->points.entry(from).second.polygon_fill);
  for (std::size_t k = first; k < fill && ctx.ordinals[base + k] == ordinal; ++k) {
    if (ctx.next_corner[base + k] == to) {
      return true;
    }
  }
  return false;
}

// Which way the neighbour of ordinal runs along the side from entry a to
// entry b, its uses beginning where find_neighbour found them.
//
// It runs from a to b where one of its uses of a is followed by b, or,
// the same corner seen from the other end, one of its uses of b is preceded
// by a; and from b to a likewise. So the uses of either end tell both ways,
// and the two runs are read side by side until the shorter ends: a polygon
// that visits one end thousands of times costs each of its sides only the
// other end's few uses. Where the fill left uses out, the uses of a tell
// a to b and those of b tell b to a, as the lists hold them.
NeighbourRun neighbour_run(const EdgeScanContext &ctx, std::size_t a, std::size_t b,
                           std::uint32_t ordinal, const std::size_t (&uses)[2]) {
  bool same = false;
  bool reversed = false;
  if (ctx.fill_dropped_uses) {
    same = runs_from(ctx, a, uses[0], std::uint32_t(b), ordinal);
    reversed = runs_from(ctx, b, uses[1], std::uint32_t(a), ordinal);
  } else {
    const auto &points = ctx.database->points;
    const std::size_t end_a = ctx.first[a] + std::size_t(points.entry(a).second.polygon_fill);
    const std::size_t end_b = ctx.first[b] + std::size_t(points.entry(b).second.polygon_fill);
    const auto to_a = std::uint32_t(a);
    const auto to_b = std::uint32_t(b);
    for (std::size_t i = ctx.first[a] + uses[0], j = ctx.first[b] + uses[1];; ++i, ++j) {
      if (i == end_a || ctx.ordinals[i] != ordinal) {
        break;
      }
      same = same || ctx.next_corner[i] == to_b;
      reversed = reversed || ctx.previous_corner[i] == to_b;
      if (j == end_b || ctx.ordinals[j] != ordinal) {
        break;
      }
      same = same || ctx.previous_corner[j] == to_a;
      reversed = reversed || ctx.next_corner[j] == to_a;
    }
  }
  if (same == reversed) {
    return NeighbourRun::Unknown;
  }
  return reversed ? NeighbourRun::Reversed : NeighbourRun::Same;
}

// Makes room for one more element of an array that gets at most one per
// side of the polygons counted (the edge records and their ends): grows by
// doubling, but not past the count of sides while the mesh is the one
// counted, so that a mesh whose every side is an edge (loose polygons with
// open edges) does not hold twice its edges. False when memory runs out.
template <class T>
bool room_for_one_per_side(const EdgeScanContext &ctx, Array<T> &array) {
  if (array.size() < array.capacity()) {
    return true;
  }
  const auto sides = std::size_t(ctx.corner_uses);
  const std::size_t doubled = std::max<std::size_t>(8, 2 * array.capacity());
  return array.reserve(array.size() < sides ? std::min(doubled, sides) : doubled);
}

// Records the pair of points ia and ib as having an edge; false when it had
// one already. A pair is filed under the end with fewer uses (the lower
// entry on a tie), so that the key is the same in either direction.
bool record_pair(EdgeScanContext &ctx, std::ptrdiff_t ia, std::ptrdiff_t ib) {
  PointMap &points = ctx.database->points;
  const std::int32_t ca = points.entry(std::size_t(ia)).second.polygon_count;
  const std::int32_t cb = points.entry(std::size_t(ib)).second.polygon_count;
  const bool under_a = ca != cb ? ca < cb : ia <= ib;
  return ctx.recorded_pairs.insert(std::uint32_t(under_a ? ia : ib),
                                   std::uint32_t(under_a ? ib : ia));
}

// cross(P1 - P0, PL - P0) of the points p0, p1 and pl: the polygon normal
// of a polygon whose corners 0, 1 and n - 1 they are.
Vec3 corner_normal(LWMeshInfo *mesh, LWPntID p0, LWPntID p1, LWPntID pl, std::int32_t use_deform) {
  const Vec3 a = point_position(mesh, p0, use_deform);
  const Vec3 b = point_position(mesh, p1, use_deform);
  const Vec3 l = point_position(mesh, pl, use_deform);
  return cross(b - a, l - a);
}

// Makes the edge pass's store of unit normals, once the first neighbour is
// found; false when memory runs out.
bool make_normal_store(EdgeScanContext &ctx) {
  ctx.work->take(ctx.unit_normals, ctx.filled_polygons);
  ctx.work->take(ctx.have_unit_normal, ctx.filled_polygons);
  return ctx.unit_normals.resize(ctx.filled_polygons) &&
         ctx.have_unit_normal.assign(ctx.filled_polygons, 0);
}

// Keeps the unit normal of the polygon of ordinal, where the store has room.
void keep_unit_normal(EdgeScanContext &ctx, std::uint32_t ordinal, const Vec3 &normal) {
  if (ordinal < ctx.unit_normals.size()) {
    ctx.unit_normals[ordinal] = normal;
    ctx.have_unit_normal[ordinal] = 1;
  }
}

// The unit normal of the polygon of ordinal met as a neighbour in the edge
// pass: polygon_normal, then normalised; made on first use and kept. A host
// that scans more polygons than it counted gets the extra ones' normals made
// afresh. Inline: it is asked for at every side, and made at most once.
Vec3 make_unit_normal(EdgeScanContext &ctx, LWPolID polygon, std::uint32_t ordinal);
inline Vec3 unit_normal(EdgeScanContext &ctx, LWPolID polygon, std::uint32_t ordinal) {
  if (ordinal < ctx.unit_normals.size() && ctx.have_unit_normal[ordinal] != 0) {
    return ctx.unit_normals[ordinal];
  }
  return make_unit_normal(ctx, polygon, ordinal);
}
Vec3 make_unit_normal(EdgeScanContext &ctx, LWPolID polygon, std::uint32_t ordinal) {
  Vec3 normal;
  polygon_normal(ctx.mesh, polygon, ctx.use_deform, normal);
  normal.normalize();
  keep_unit_normal(ctx, ordinal, normal);
  return normal;
}

// The unit normal of the polygon at hand, of ordinal, from its corners as
// read by its visit: kept where a neighbour made it already, else made from
// corners 0, 1 and n - 1 as polygon_normal makes it.
Vec3 own_unit_normal(EdgeScanContext &ctx, std::uint32_t ordinal, const LWPntID *corners, int n) {
  if (ordinal < ctx.unit_normals.size() && ctx.have_unit_normal[ordinal] != 0) {
    return ctx.unit_normals[ordinal];
  }
  Vec3 normal = corner_normal(ctx.mesh, corners[0], corners[1], corners[n - 1], ctx.use_deform);
  normal.normalize();
  keep_unit_normal(ctx, ordinal, normal);
  return normal;
}

LWScanResult find_polygon_edges(void *user_data, LWPolID polygon) {
  EdgeScanContext &ctx = context_of(user_data);
  return guarded(ctx, [&] {
    LWMeshInfo *mesh = ctx.mesh;
    const std::uint32_t ordinal = ctx.scan_ordinal++;
    const int n = mesh->polSize(mesh, polygon);
    if (n < 3) {
      return true;
    }
    if (larger_than_counted(ctx, n)) {
      return false;
    }
    PointMap &points = ctx.database->points;
    Array<EdgeRecord> &records = ctx.database->edge_list->records;
    // Each corner is read once: the sides, their entries and the polygon's
    // own normal all come from these reads, so that they agree with one
    // another whatever the host answers on a second read.
    Array<LWPntID> &corners = ctx.corner_points;
    Array<std::ptrdiff_t> &entries = ctx.corner_entries;
    if (!corners.resize(std::size_t(n)) || !entries.resize(std::size_t(n))) {
      return false;
    }
    for (int i = 0; i < n; ++i) {
      corners[std::size_t(i)] = mesh->polVertex(mesh, polygon, i);
      entries[std::size_t(i)] = points.entry_index(corners[std::size_t(i)]);
    }
    bool have_own_normal = false;
    Vec3 own_normal;
    for (int i = 0; i < n; ++i) {
      const int next = i + 1 == n ? 0 : i + 1;
      const std::ptrdiff_t ia = entries[std::size_t(i)];
      const std::ptrdiff_t ib = entries[std::size_t(next)];
      if (ia < 0 || ib < 0) {
        return true;
      }
      const LWPntID a = corners[std::size_t(i)];
      const LWPntID b = corners[std::size_t(next)];
      // Each polygon's normal is made once, when a side first needs it.
      if (!have_own_normal) {
        own_normal = own_unit_normal(ctx, ordinal, corners.data(), n);
        have_own_normal = true;
      }
      std::uint32_t neighbour_ordinal = 0;
      std::size_t uses[2] = {0, 0};
      const LWPolID neighbour =
          find_neighbour(ctx, std::size_t(ia), std::size_t(ib), ordinal, neighbour_ordinal, uses);
      if (neighbour != nullptr) {
        if (ctx.unit_normals.empty()) {
          if (!make_normal_store(ctx)) {
            return false;
          }
          keep_unit_normal(ctx, ordinal, own_normal);
        }
        const Vec3 other = unit_normal(ctx, neighbour, neighbour_ordinal);
        // A dot product equal to the threshold counts as sharp.
        if (dot(own_normal, other) > ctx.cos_threshold) {
          continue;
        }
        if (!record_pair(ctx, ia, ib)) {
          continue;
        }
        if (ctx.recorded_pairs.failed()) {
          return false;
        }
        if (ctx.edge_kind != EdgeKind::Both) {
          const EdgeShape shape = judge_sharp_side(
              own_normal, other, point_position(mesh, a, ctx.use_deform),
              point_position(mesh, b, ctx.use_deform),
              neighbour_run(ctx, std::size_t(ia), std::size_t(ib), neighbour_ordinal, uses));
          if (!keeps(ctx.edge_kind, shape)) {
            continue;
          }
        }
        Vec3 bisector = own_normal + other;
        if (!room_for_one_per_side(ctx, records) ||
            !records.push_back({a, b, bisector.normalize(), 0})) {
          return false;
        }
      } else if (ctx.open_edge != 0) {
        Vec3 along =
            point_position(mesh, a, ctx.use_deform) - point_position(mesh, b, ctx.use_deform);
        along.normalize();
        Vec3 outward = cross(own_normal, along);
        if (!room_for_one_per_side(ctx, records) ||
            !records.push_back({a, b, outward.normalize(), 1})) {
          return false;
        }
        record_pair(ctx, ia, ib);
        if (ctx.recorded_pairs.failed()) {
          return false;
        }
      } else {
        continue;
      }
      if (ctx.edge_ends.capacity() == 0) {
        ctx.work->take(ctx.edge_ends, ctx.work->last_edge_count);
      }
      if (!room_for_one_per_side(ctx, ctx.edge_ends) ||
          !ctx.edge_ends.push_back({std::uint32_t(ia), std::uint32_t(ib)})) {
        return false;
      }
    }
    return true;
  });
}

// Lists every point entry's edges, in list order, in the map's edge pool:
// one sweep over the list instead of one per point. The list is final, so
// the pool takes the records' addresses at once. Entry i's part of the pool
// is [edge_first[i], edge_first[i + 1]). False when memory runs out.
bool index_point_edges(EdgeScanContext &ctx) {
  PointMap &points = ctx.database->points;
  Array<std::uint32_t> &first = ctx.edge_first;
  ctx.work->take(first, points.size() + 1);
  if (!first.assign(points.size() + 1, 0)) {
    return false;
  }
  auto for_each_end = [&](auto visit) {
    for (std::size_t k = 0; k < ctx.edge_ends.size(); ++k) {
      const auto [ia, ib] = ctx.edge_ends[k];
      visit(ia, k);
      // An edge whose two ends are one point is listed there once.
      if (ib != ia) {
        visit(ib, k);
      }
    }
  };
  for_each_end([&](std::size_t i, std::size_t) { first[i + 1] += 1; });
  for (std::size_t i = 0; i < points.size(); ++i) {
    first[i + 1] += first[i];
  }
  if (!points.edge_pool.assign(first.back(), nullptr)) {
    return false;
  }
  // Each entry's start serves as its cursor, and ends as the next one's
  // start: the starts are then moved up by one.
  const EdgeRecord *records = ctx.database->edge_list->records.data();
  for_each_end([&](std::size_t i, std::size_t k) { points.edge_pool[first[i]++] = records + k; });
  for (std::size_t i = points.size(); i > 0; --i) {
    first[i] = first[i - 1];
  }
  first[0] = 0;
  return true;
}

// Points each scanned point's record at its part of the edge pool.
LWScanResult collect_point_edges(void *user_data, LWPntID point) {
  EdgeScanContext &ctx = context_of(user_data);
  return guarded(ctx, [&] {
    PointMap &points = ctx.database->points;
    const std::ptrdiff_t index = points.entry_index(point);
    if (index < 0) {
      return true;
    }
    const std::uint32_t begin = ctx.edge_first[std::size_t(index)];
    const std::uint32_t end = ctx.edge_first[std::size_t(index) + 1];
    // A point without edges (inside a flat area, most of a mesh's points)
    // has no array.
    if (end != begin) {
      PointRecord &record = points.entry(std::size_t(index)).second;
      record.edges = points.edge_pool.data() + begin;
      record.edge_count = std::int32_t(end - begin);
    }
    return true;
  });
}

// Fails the build: frees the partial database and releases the mesh.
ObjectEdgeDatabase *fail(std::unique_ptr<ObjectEdgeDatabase> database, LWMeshInfo *mesh) {
  destroy_edge_database(database.release());
  if (mesh->destroy != nullptr) {
    mesh->destroy(mesh);
  }
  return nullptr;
}

}  // namespace

void polygon_normal(LWMeshInfo *mesh, LWPolID polygon, std::int32_t use_deform, Vec3 &normal) {
  const int n = mesh->polSize(mesh, polygon);
  if (n < 3) {
    return;
  }
  const LWPntID p0 = mesh->polVertex(mesh, polygon, 0);
  const LWPntID p1 = mesh->polVertex(mesh, polygon, 1);
  const LWPntID pl = mesh->polVertex(mesh, polygon, n - 1);
  normal = corner_normal(mesh, p0, p1, pl, use_deform);
}

namespace {

// Joins the points that list a common polygon into shells: the first point
// met that lists a polygon stands for it. False when memory runs out.
bool join_shells(const EdgeScanContext &ctx, std::uint32_t polygons, ShellIndex::Builder &shells) {
  const PointMap &points = ctx.database->points;
  Array<std::uint32_t> holder;
  if (!shells.start(points.size()) || !holder.assign(polygons, kNoEntry)) {
    return false;
  }
  for (std::size_t i = 0; i < points.size(); ++i) {
    const std::uint32_t *uses = ctx.ordinals.data() + ctx.first[i];
    const std::int32_t fill = points.entry(i).second.polygon_fill;
    for (std::int32_t k = 0; k < fill; ++k) {
      std::uint32_t &first = holder[uses[k]];
      if (first == kNoEntry) {
        first = std::uint32_t(i);
      } else {
        shells.join(std::uint32_t(i), first);
      }
    }
  }
  return true;
}

// The base position of every point entry that ends an edge, read once each
// in entry order (zero for the others, and where the host writes nothing).
// False when memory runs out.
bool edge_end_positions(const EdgeScanContext &ctx, Array<std::array<float, 3>> &positions) {
  PointMap &points = ctx.database->points;
  Array<std::uint8_t> wanted;
  if (!wanted.assign(points.size(), 0) || !positions.assign(points.size(), {0.0f, 0.0f, 0.0f})) {
    return false;
  }
  for (const auto &[a, b] : ctx.edge_ends) {
    wanted[a] = 1;
    wanted[b] = 1;
  }
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (wanted[i] != 0) {
      const auto point = reinterpret_cast<LWPntID>(points.entry(i).first);
      ctx.mesh->pntBasePos(ctx.mesh, point, positions[i].data());
    }
  }
  return true;
}

// Gives the arrays of the polygon scans back to the work area.
void give_back_scan_arrays(EdgeScanContext &ctx) {
  ctx.work->give_back(ctx.ordinals);
  ctx.work->give_back(ctx.first);
  ctx.work->give_back(ctx.next_corner);
  ctx.work->give_back(ctx.previous_corner);
  ctx.work->give_back(ctx.unit_normals);
  ctx.work->give_back(ctx.have_unit_normal);
}

// Gives every working array still held back to the work area, whether the
// build got through or stopped anywhere.
void give_back_working_arrays(EdgeScanContext &ctx) {
  give_back_scan_arrays(ctx);
  ctx.work->give_back(ctx.corner_keys);
  ctx.work->give_back(ctx.polygon_keys);
  ctx.work->give_back(ctx.edge_first);
  ctx.work->give_back(ctx.edge_ends);
}

// Frees what the query never reads: every polygon list, and unless
// keep_every_point the records of the points that end no edge (most of a
// mesh's points: a lookup of one then finds no record, which answers "no
// edges" as a record without edges did). False when memory runs out.
bool thin_points(EdgeScanContext &ctx, bool keep_every_point) {
  PointMap &points = ctx.database->points;
  if (!keep_every_point) {
    Array<std::uint8_t> ends;
    if (!ends.assign(points.size(), 0)) {
      return false;
    }
    for (const auto &[a, b] : ctx.edge_ends) {
      ends[a] = 1;
      ends[b] = 1;
    }
    if (!points.keep_only(ends)) {
      return false;
    }
  }
  // Only the records kept are told that their lists are gone.
  for (auto &[key, record] : points) {
    record.polygon_fill = 0;
    record.polygons = nullptr;
  }
  ctx.work->give_back(points.polygon_pool);
  return true;
}

// The four passes over a created database, and the shells' index when it is
// wanted. False when a scan failed, a callback stopped it or memory ran out.
bool run_passes(EdgeScanContext &ctx, const EdgeBuildOptions &options) {
  LWMeshInfo *mesh = ctx.mesh;
  ObjectEdgeDatabase &database = *ctx.database;
  ctx.work->take_largest(ctx.corner_keys);
  if (ctx.list_polygons) {
    ctx.work->take_largest(ctx.polygon_keys);
  }
  if (mesh->scanPolys(mesh, count_point_polygons, &ctx) != 0 || ctx.stopped) {
    return false;
  }
  if (ctx.list_polygons &&
      !database.polygons.assign(ctx.polygon_keys.begin(), ctx.polygon_keys.end())) {
    return false;
  }
  ctx.work->give_back(ctx.polygon_keys);
  if (!map_counted_points(ctx)) {
    return false;
  }
  // Grown by doubling: its slack would be kept, and taken by arrays that
  // need less, for as long as the area lives.
  ctx.corner_keys.shrink_to_fit();
  ctx.work->give_back(ctx.corner_keys);
  PointMap &points = database.points;
  ctx.work->take(ctx.first, points.size() + 1);
  if (!ctx.first.resize(points.size() + 1)) {
    return false;
  }
  // At most kMaxCornerUses in all, so every offset fits.
  std::uint32_t corners = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    ctx.first[i] = corners;
    corners += std::uint32_t(points.entry(i).second.polygon_count);
  }
  ctx.first[points.size()] = corners;
  // Every record's polygons lie in one pool, in map order, parallel to the
  // ordinals.
  ctx.work->take(points.polygon_pool, corners);
  if (!points.polygon_pool.assign(corners, nullptr)) {
    return false;
  }
  for (std::size_t i = 0; i < points.size(); ++i) {
    points.entry(i).second.polygons = points.polygon_pool.data() + ctx.first[i];
  }
  ctx.work->take(ctx.ordinals, corners);
  if (!ctx.ordinals.assign(corners, 0)) {
    return false;
  }
  ctx.recorded_pairs.reset(ctx.first.data(), points.size());
  if (ctx.edge_kind != EdgeKind::Both) {
    ctx.work->take(ctx.next_corner, corners);
    ctx.work->take(ctx.previous_corner, corners);
    if (!ctx.next_corner.assign(corners, kNoEntry) ||
        !ctx.previous_corner.assign(corners, kNoEntry)) {
      return false;
    }
  }

  ctx.scan_ordinal = 0;
  if (mesh->scanPolys(mesh, fill_point_polygons, &ctx) != 0 || ctx.stopped) {
    return false;
  }
  if (!index_wide_runs(ctx)) {
    return false;
  }
  ctx.polygon_runs.reset();

  const std::uint32_t filled_polygons = ctx.scan_ordinal;
  ctx.filled_polygons = filled_polygons;
  database.edge_list = std::make_unique<EdgeList>();
  if (database.edge_list == nullptr) {
    return false;
  }
  ctx.scan_ordinal = 0;
  if (mesh->scanPolys(mesh, find_polygon_edges, &ctx) != 0 || ctx.stopped) {
    return false;
  }
  std::optional<ShellIndex::Builder> shells;
  if (options.cross_polygons) {
    shells.emplace();
    if (!join_shells(ctx, filled_polygons, *shells)) {
      return false;
    }
  }
  give_back_scan_arrays(ctx);
  ctx.pair_containers.clear();
  ctx.wide_first.reset();
  ctx.wide_uses.reset();
  ctx.recorded_pairs.clear();
  ctx.corner_points.reset();
  ctx.corner_entries.reset();
  // The list is complete: from here on records are referred to by address.
  // Shrunk once the working state is freed, so that a copy made to shrink
  // does not come on top of it.
  database.edge_list->records.shrink_to_fit();
  ctx.edge_ends.shrink_to_fit();

  if (!index_point_edges(ctx)) {
    return false;
  }
  if (mesh->scanPoints(mesh, collect_point_edges, &ctx) != 0 || ctx.stopped) {
    return false;
  }
  ctx.work->give_back(ctx.edge_first);
  if (shells) {
    Array<std::array<float, 3>> positions;
    if (!edge_end_positions(ctx, positions)) {
      return false;
    }
    database.shells = shells->build(ctx.edge_ends, positions, options.reach);
    if (database.shells == nullptr) {
      return false;
    }
  }
  // The polygons with many corners are found from the polygon lists before
  // those go; a database without edges needs no corner index.
  Array<std::uintptr_t> large;
  if (!database.edge_list->records.empty() && !CornerIndex::many_cornered_polygons(points, large)) {
    return false;
  }
  if (!options.keep_point_records && !thin_points(ctx, options.cross_polygons)) {
    return false;
  }
  // Kept in the area the ends' block would idle through the corner index's
  // build, above the peak of a build that freed it: kept only without one.
  ctx.work->last_edge_count = ctx.edge_ends.size();
  if (large.empty()) {
    ctx.work->give_back(ctx.edge_ends);
  } else {
    ctx.edge_ends.reset();
  }
  return CornerIndex::build(database, mesh, large, database.corners);
}

}  // namespace

ObjectEdgeDatabase *build_edge_database(EdgeCache &cache, LWItemID object_id, LWMeshInfo *mesh,
                                        const EdgeBuildOptions &options) {
  std::unique_ptr<ObjectEdgeDatabase> database;
  // Whatever stops the build (a failed scan, memory running out, a length
  // no container can hold) ends in the same place: the partial database is
  // freed, the mesh released and null returned. Nothing is thrown on.
  const bool built = at_host_boundary(
      [&] {
        database = std::make_unique<ObjectEdgeDatabase>();
        if (database == nullptr) {
          return false;
        }
        database->object_id = object_id;
        EdgeScanContext ctx;
        ctx.mesh = mesh;
        ctx.database = database.get();
        ctx.work = &cache.work_area;
        ctx.cos_threshold = options.cos_threshold;
        ctx.open_edge = options.open_edge;
        ctx.use_deform = options.use_deform;
        ctx.edge_kind = options.edge_kind;
        ctx.list_polygons = options.list_polygons;
        cache.work_area.begin_build();
        const bool passed = run_passes(ctx, options);
        give_back_working_arrays(ctx);
        cache.work_area.end_build();
        return passed && append_edge_database(cache, database);
      },
      [] { return false; });
  if (!built) {
    return fail(std::move(database), mesh);
  }
  return cache.databases.back().get();
}

}  // namespace korv
