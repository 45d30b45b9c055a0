// The edge database of one object and the cache of an instance's databases.
//
// Ownership, from the top: a front's instance (the shader's) owns one
// EdgeCache; the cache owns its ObjectEdgeDatabases; a database owns its
// point map with the
// PointRecords in it and its EdgeList; the point map owns the two pools the
// records' polygons and edges arrays lie in; the EdgeList owns the
// EdgeRecords. A PointRecord's edges only refer to records of the same
// database and are valid while it exists.
//
// Every allocation here reports its failure (checked_memory.h): a build that
// runs out of memory fails and frees what it made, and nothing is thrown.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <memory>
#include <utility>

#include "edges/build_work_area.h"
#include "edges/corner_index.h"
#include "edges/polygon_set.h"
#include "edges/shell_index.h"
#include "edges/vec3.h"
#include "hostapi/lwmeshes.h"
#include "runtime/checked_memory.h"

namespace korv {

// One detected edge, written once by the build and never changed afterwards.
struct EdgeRecord {
  LWPntID point_a = nullptr;  // corner i of the polygon that recorded the edge
  LWPntID point_b = nullptr;  // corner i + 1 of that polygon, wrapping to 0
  Vec3 normal;                // unit length, or zero
  std::int32_t is_open = 0;   // 1: bordered by one polygon only
};

// One mesh point that is a corner of at least one polygon of three or more
// vertices.
struct PointRecord {
  std::int32_t polygon_count = 0;  // corner uses; a polygon listing the point twice counts twice
  std::int32_t edge_count = 0;     // entries in edges
  std::int32_t polygon_fill = 0;   // entries of polygons filled so far
  // polygon_count entries in scan order, in the map's polygon pool (null
  // entries past polygon_fill); null until the pool is made, and again once
  // the build has freed it (polygon_fill then 0).
  LWPolID *polygons = nullptr;
  // edge_count entries in EdgeList order, in the map's edge pool; null when
  // the point has no edges.
  const EdgeRecord **edges = nullptr;
};

// Point handles are keyed as unsigned integers of the handle's width, so
// iteration runs in ascending handle value.
inline std::uintptr_t point_key(LWPntID point) {
  return reinterpret_cast<std::uintptr_t>(point);
}

// An ordered map from point handle to its PointRecord: a flat array sorted by
// key with unique keys, plus a hash index for exact finds in constant time.
//
// The build fills it in two steps: find_or_insert while it counts corners
// (entries then stand in insertion order), then sort_keys once, after which
// iteration runs in ascending key order and nothing is inserted any more; or
// it appends records in ascending key order (begin_sorted).
class PointMap {
 public:
  using Entry = std::pair<std::uintptr_t, PointRecord>;

  // Replaces the contents with one fresh record per distinct key, in
  // ascending key order. keys may hold duplicates and come in any order.
  // False when memory runs out (the map is then empty).
  [[nodiscard]] bool assign_keys(std::initializer_list<std::uintptr_t> keys);

  // The record of point, inserted as a new record when absent; null when
  // memory runs out.
  PointRecord *find_or_insert(LWPntID point);

  // Puts the entries into ascending key order; false when memory runs out
  // (the entries are sorted, but not found any more).
  [[nodiscard]] bool sort_keys();

  // The other way to fill the map, when the keys are known in ascending
  // order: begin_sorted empties the map and makes room for count entries,
  // append_sorted adds a fresh record for a key greater than every key added
  // before (at most count of them), and end_sorted indexes them; nothing is
  // inserted afterwards. begin_sorted and end_sorted return false when memory
  // runs out.
  [[nodiscard]] bool begin_sorted(std::size_t count);
  PointRecord &append_sorted(std::uintptr_t key) {
    (void)entries_.emplace_back(key, PointRecord{});  // room was made by begin_sorted
    return entries_.back().second;
  }
  [[nodiscard]] bool end_sorted() { return index_sorted_entries(); }

  // Keeps the entries whose flag in keep (one per entry, in iteration
  // order) is set, in the same order, and frees the others: after a build,
  // only the points that end an edge are worth their entry. A map whose keys
  // stepped evenly keeps finding them by arithmetic, through a bit per place
  // of the step's grid. False when memory runs out (the map is then empty).
  [[nodiscard]] bool keep_only(const Array<std::uint8_t> &keep);

  // Inline: the query looks up every corner of every shaded polygon.
  PointRecord *find(LWPntID point) {
    const std::ptrdiff_t i = index_of(point_key(point));
    return i < 0 ? nullptr : &entries_[static_cast<std::size_t>(i)].second;
  }
  const PointRecord *find(LWPntID point) const {
    const std::ptrdiff_t i = index_of(point_key(point));
    return i < 0 ? nullptr : &entries_[static_cast<std::size_t>(i)].second;
  }

  // The position of point's entry in iteration order, or -1.
  std::ptrdiff_t entry_index(LWPntID point) const { return index_of(point_key(point)); }
  Entry &entry(std::size_t index) { return entries_[index]; }
  const Entry &entry(std::size_t index) const { return entries_[index]; }

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  Entry *begin() { return entries_.begin(); }
  Entry *end() { return entries_.end(); }
  const Entry *begin() const { return entries_.begin(); }
  const Entry *end() const { return entries_.end(); }

  // The pools the records' arrays lie in: one allocation each for the whole
  // map instead of two per point, freed with the map.
  Array<LWPolID> polygon_pool;
  Array<const EdgeRecord *> edge_pool;

  // Frees the records, the pools and the map's own storage.
  void clear();

  // Bytes held by the map and its records' arrays (for measurements).
  std::size_t memory_bytes() const;

 private:
  std::ptrdiff_t index_of(std::uintptr_t key) const;
  std::ptrdiff_t grid_index_of(std::uintptr_t place) const;
  std::ptrdiff_t slot_index_of(std::uintptr_t key) const;
  [[nodiscard]] bool rebuild_slots(std::size_t minimum_slots);
  [[nodiscard]] bool index_sorted_entries();

  Array<Entry> entries_;
  // Open-addressing table of entry index + 1 (0 is empty); size a power of two.
  Array<std::uint32_t> slots_;
  // Hosts commonly number their points, or lay them out in one array, so the
  // sorted keys often step evenly from the first: a key's entry is then found
  // by arithmetic alone and the hash table is dropped.
  std::uintptr_t first_key_ = 0;
  std::uintptr_t key_step_ = 0;  // 0: keys are not evenly spaced
  // log2 of key_step_ when it is a power of two (pointers to records of such
  // a size, or numbers), so that a find shifts instead of dividing; else -1.
  int key_shift_ = -1;
  bool use_slots_ = true;
  // After keep_only on evenly stepping keys: a bit per place of the grid
  // the keys stepped on, and before each word of bits the entries of the
  // places before it, so that a place's entry is a count of set bits.
  // Empty while every place of the grid has its entry.
  Array<std::uint64_t> place_bits_;
  Array<std::uint32_t> place_ranks_;
  std::uintptr_t places_ = 0;
};

inline std::ptrdiff_t PointMap::grid_index_of(std::uintptr_t place) const {
  if (place >= places_) {
    return -1;
  }
  const std::uint64_t word = place_bits_[place / 64];
  const std::uint64_t bit = std::uint64_t(1) << (place % 64);
  if ((word & bit) == 0) {
    return -1;
  }
  return std::ptrdiff_t(place_ranks_[place / 64]) + std::popcount(word & (bit - 1));
}

inline std::ptrdiff_t PointMap::index_of(std::uintptr_t key) const {
  if (use_slots_) {
    return slot_index_of(key);
  }
  if (key < first_key_) {
    return -1;
  }
  const std::uintptr_t offset = key - first_key_;
  std::uintptr_t index;
  if (key_shift_ >= 0) {
    if ((offset & (key_step_ - 1)) != 0) {
      return -1;
    }
    index = offset >> key_shift_;
  } else {
    if (offset % key_step_ != 0) {
      return -1;
    }
    index = offset / key_step_;
  }
  if (!place_bits_.empty()) {
    return grid_index_of(index);
  }
  return index < entries_.size() ? static_cast<std::ptrdiff_t>(index) : -1;
}

// The records of one object's edges in the order of discovery. The list owns
// its records. Its destructor is its only virtual operation: the database
// deletes the list through it.
class EdgeList : public NoThrowNew {
 public:
  virtual ~EdgeList();
  // Grows by doubling. Records are stored by value; their addresses are taken
  // only once the edge pass is over and the list no longer grows, so
  // references from PointRecords stay valid.
  Array<EdgeRecord> records;
};

struct ObjectEdgeDatabase : NoThrowNew {
  PointMap points;
  LWItemID object_id = nullptr;         // the key under which the cache finds the database
  std::unique_ptr<EdgeList> edge_list;  // null until the build starts its edge pass
  // The shells' edges indexed in space, for a search across polygons; null
  // unless the database was built with cross_polygons on.
  std::unique_ptr<ShellIndex> shells;
  // The edges at points with many edges and at the corners of polygons with
  // many corners, indexed in space for the query; null when there are none.
  std::unique_ptr<CornerIndex> corners;
  // The frame of the edge normals: built from the deformed positions (the
  // world's, as the host gives them), or from the base positions (the
  // object's). A sample turns a normal by this, never by the setting as it
  // stands now, which may have changed since the build.
  bool deformed = false;
  // With the build's list_polygons, the polygons its first scan listed: the
  // only ones the query hands the host. Otherwise never started, listing
  // every polygon.
  PolygonSet polygons;

  // cos(angle) for the query's smoothing: remembered for the angle of the
  // query that built the database, so that later samples need not take the
  // cosine again; any other angle is taken afresh.
  double smoothing_cosine(double angle) const {
    return angle == smoothing_angle_ ? smoothing_cosine_ : std::cos(angle);
  }
  // Called once, by the query that built the database, before any other
  // query can see it.
  void remember_smoothing_cosine(double angle) {
    smoothing_angle_ = angle;
    smoothing_cosine_ = std::cos(angle);
  }

  ObjectEdgeDatabase() = default;
  ObjectEdgeDatabase(const ObjectEdgeDatabase &) = delete;
  ObjectEdgeDatabase &operator=(const ObjectEdgeDatabase &) = delete;
  ~ObjectEdgeDatabase();

 private:
  // NaN matches no angle until one is remembered.
  double smoothing_angle_ = std::numeric_limits<double>::quiet_NaN();
  double smoothing_cosine_ = std::numeric_limits<double>::quiet_NaN();
};

// An instance's databases, in the order they were built; at most one per object.
//
// A surface shared by many objects (clones, a kit of parts, a city of one
// material) has one database per object in one cache, and every sample looks
// its object up: the databases are indexed by object, so that a look-up costs
// the same with one object or thousands. append_edge_database keeps the index;
// a database pushed onto the list directly is still found, by a walk of the
// list, until the next append indexes it.
struct EdgeCache : NoThrowNew {
  Array<std::unique_ptr<ObjectEdgeDatabase>> databases;
  // Objects whose build failed since the cache was emptied or the time
  // changed: their samples pass through without trying the whole build
  // again, each under the exclusive lock.
  Array<LWItemID> failed_builds;
  // Open addressing by object, probed linearly and at most half full: the
  // position in databases + 1, 0 in an empty slot; the table's size is a
  // power of two. It covers the first `indexed` databases, the earliest of
  // an object's first.
  Array<std::uint32_t> slots;
  std::size_t indexed = 0;
  // The builds' working memory, kept from one build to the next (of any
  // object) until release_work_area or the cache's destruction.
  BuildWorkArea work_area;
};

// A new empty cache, or null when memory is exhausted.
EdgeCache *create_edge_cache();

// Destroys every database in order, then the cache with its working memory.
// A null cache is ignored.
void destroy_edge_cache(EdgeCache *cache);

// Destroys every database in order and leaves the cache empty, its capacity
// and working memory kept (a deformed object is built again at each new
// time); forgets the failed builds. A null cache is ignored.
void empty_edge_cache(EdgeCache *cache);

// Frees the working memory the cache keeps for its builds (at the end of a
// render: the next build is a render away). A null cache is ignored.
void release_work_area(EdgeCache *cache);

// Forgets the failed builds, keeping the databases. A null cache is ignored.
void forget_failed_builds(EdgeCache *cache);

// Whether a build of object failed and is remembered.
bool remembers_failed_build(const EdgeCache &cache, LWItemID object);

// Remembers that the build of object failed. Should memory not allow even
// that, the failure is not remembered and the next sample tries again.
void remember_failed_build(EdgeCache &cache, LWItemID object) noexcept;

// Frees a database and everything it owns: the point records (ascending key),
// the map, then the edge list with its records.
void destroy_edge_database(ObjectEdgeDatabase *database);

// Appends database to the cache and indexes it, taking it over; false when
// memory runs out, database then left to the caller and the cache as it was.
[[nodiscard]] bool append_edge_database(EdgeCache &cache,
                                        std::unique_ptr<ObjectEdgeDatabase> &database);

// The first database in the cache that describes object, or null.
ObjectEdgeDatabase *find_edge_database(EdgeCache &cache, LWItemID object);

}  // namespace korv
