#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "edges/edge_records.h"

namespace korv {
namespace {

LWItemID item(std::uintptr_t n) {
  return reinterpret_cast<LWItemID>(n);
}
LWPntID pnt(std::uintptr_t n) {
  return reinterpret_cast<LWPntID>(n);
}
LWPolID pol(std::uintptr_t n) {
  return reinterpret_cast<LWPolID>(n);
}

// A database with two points sharing one edge, listed at both ends.
std::unique_ptr<ObjectEdgeDatabase> two_point_database(LWItemID object) {
  auto db = std::make_unique<ObjectEdgeDatabase>();
  db->object_id = object;
  EXPECT_TRUE(db->points.assign_keys({20, 10, 20}));
  db->edge_list = std::make_unique<EdgeList>();
  EXPECT_TRUE(db->edge_list->records.push_back({pnt(10), pnt(20), {0, 0, 1}, 0}));
  EXPECT_TRUE(db->points.polygon_pool.resize(2) && db->points.edge_pool.resize(2));
  std::size_t k = 0;
  for (auto &[key, record] : db->points) {
    record.polygon_count = record.polygon_fill = 1;
    record.polygons = db->points.polygon_pool.data() + k;
    record.edge_count = 1;
    record.edges = db->points.edge_pool.data() + k++;
    record.edges[0] = &db->edge_list->records[0];
  }
  return db;
}

TEST(EdgeCache, EmptyingAnEmptyCacheChangesNothing) {
  EdgeCache *cache = create_edge_cache();
  ASSERT_NE(cache, nullptr);
  empty_edge_cache(cache);
  EXPECT_TRUE(cache->databases.empty());
  destroy_edge_cache(cache);
  destroy_edge_cache(nullptr);  // ignored
  empty_edge_cache(nullptr);    // ignored
}

TEST(EdgeCache, EmptiedCacheKeepsItsCapacityAndAcceptsNewDatabases) {
  EdgeCache *cache = create_edge_cache();
  ASSERT_TRUE(cache->databases.push_back(two_point_database(item(1))));
  ASSERT_TRUE(cache->databases.push_back(two_point_database(item(2))));
  ASSERT_TRUE(cache->databases.push_back(nullptr));  // null entries are skipped
  const auto capacity = cache->databases.capacity();
  empty_edge_cache(cache);
  EXPECT_EQ(cache->databases.size(), 0u);
  EXPECT_EQ(cache->databases.capacity(), capacity);
  ASSERT_TRUE(cache->databases.push_back(two_point_database(item(3))));
  EXPECT_EQ(find_edge_database(*cache, item(3)), cache->databases[0].get());
  EXPECT_EQ(find_edge_database(*cache, item(1)), nullptr);
  destroy_edge_cache(cache);
}

TEST(EdgeCache, FindTakesTheFirstDatabaseOfTheObject) {
  EdgeCache cache;
  ASSERT_TRUE(cache.databases.push_back(two_point_database(item(5))));
  ASSERT_TRUE(cache.databases.push_back(two_point_database(item(6))));
  ASSERT_TRUE(cache.databases.push_back(two_point_database(item(6))));
  EXPECT_EQ(find_edge_database(cache, item(6)), cache.databases[1].get());
  for (std::uintptr_t k = 0; k < 100; ++k) {  // appended, indexed: found among many
    auto database = two_point_database(item(48 * (k % 60 + 1)));
    ASSERT_TRUE(append_edge_database(cache, database) && database == nullptr);
    EXPECT_EQ(find_edge_database(cache, item(48 * (k % 60 + 1))),
              cache.databases[3 + k % 60].get());
  }
  EXPECT_TRUE(find_edge_database(cache, item(6)) == cache.databases[1].get() &&
              find_edge_database(cache, item(7)) == nullptr);
  empty_edge_cache(&cache);
  EXPECT_EQ(find_edge_database(cache, item(5)), nullptr);
}

TEST(EdgeDatabase, DestroyWithoutEdgeListFreesThePointRecords) {
  auto *db = new ObjectEdgeDatabase;
  ASSERT_TRUE(db->points.assign_keys({3, 1, 2}));
  ASSERT_TRUE(db->points.polygon_pool.resize(6));
  for (auto &[key, record] : db->points) {
    record.polygons = db->points.polygon_pool.data() + 2 * (key - 1);
  }
  EXPECT_EQ(db->edge_list, nullptr);
  destroy_edge_database(db);  // the sanitizer build reports a leak or double free here
}

TEST(EdgeDatabase, EdgeListedAtBothEndsIsFreedOnce) {
  destroy_edge_database(two_point_database(item(9)).release());
}

// A database made by hand lists every polygon; one whose build listed them
// lists exactly those (null never), on a grid of their handles' spacing or,
// with one handle far off, in a hash.
TEST(EdgeDatabase, ListsEveryPolygonUnlessItsBuildListedThem) {
  ObjectEdgeDatabase db;
  EXPECT_TRUE(db.polygons.lists(pol(0x12345)));
  std::vector<std::uintptr_t> keys{0};
  for (std::uintptr_t k = 1000; k >= 1; --k) {
    keys.insert(keys.end(), {40 * k, 40 * (k / 2 + 1)});
  }
  for (const std::uintptr_t far : {std::uintptr_t{40}, std::uintptr_t{1} << 30}) {
    keys.push_back(far);
    ASSERT_TRUE(db.polygons.assign(keys.data(), keys.data() + keys.size()));
    EXPECT_LE(db.polygons.memory_bytes(), far == 40 ? 640 : 4096 * sizeof(std::uintptr_t));
    EXPECT_TRUE(db.polygons.lists(pol(far)));
    for (std::uintptr_t k = 0; k <= 1001; ++k) {
      EXPECT_EQ(db.polygons.lists(pol(40 * k)), k >= 1 && k <= 1000) << k;
      EXPECT_FALSE(db.polygons.lists(pol(40 * k + 8))) << k;
    }
  }
  // 16 handles too scattered for a grid: their hash keeps an empty slot.
  constexpr int kHigh = sizeof(std::uintptr_t) == 8 ? 40 : 24;
  for (std::uintptr_t k = 1; k <= 16; ++k) {
    keys[k - 1] = (k << kHigh) | (k << 3);
  }
  ASSERT_TRUE(db.polygons.assign(keys.data(), keys.data() + 16));
  ASSERT_GT(db.polygons.memory_bytes(), 16 * sizeof(std::uintptr_t));
  for (std::size_t k = 0; k < 16; ++k) {
    EXPECT_TRUE(db.polygons.lists(pol(keys[k])) && !db.polygons.lists(pol(keys[k] + 8))) << k;
  }
}

// A build's arrays take the smallest kept block that holds them and is not
// much larger, without allocating; the area keeps what the latest build gave back, until released.
TEST(BuildWorkArea, KeepsWhatTheLatestBuildUsedUntilReleased) {
  BuildWorkArea area;
  Array<std::uint32_t> large, small;
  area.begin_build();
  ASSERT_TRUE(large.resize(1000) && small.resize(10));
  area.give_back(large);
  area.give_back(small);
  area.end_build();
  EXPECT_EQ(area.bytes(), 4040u);
  area.begin_build();
  Array<std::uint8_t> tiny;
  area.take(tiny, 20);  // a block twice its size would idle beside the array
  EXPECT_EQ(tiny.capacity(), 0u);
  Array<double> next;
  area.take(next, 480);
  EXPECT_EQ(next.capacity(), 500u);
  AllocationFaults::countdown = 1;  // an allocation would fail
  EXPECT_TRUE(next.resize(500));
  EXPECT_EQ(AllocationFaults::countdown.exchange(0), 1u);
  area.give_back(next);
  area.end_build();  // the block this build left alone goes
  EXPECT_EQ(area.bytes(), 4000u);
  area.release();
  EXPECT_EQ(area.bytes(), 0u);
}

TEST(PointMap, KeysAreUniqueAscendingAndFoundExactly) {
  PointMap map;
  ASSERT_TRUE(map.assign_keys({0x30, 0x10, 0x20, 0x10, ~std::uintptr_t{0}}));
  ASSERT_EQ(map.size(), 4u);
  std::uintptr_t previous = 0;
  for (const auto &[key, record] : map) {
    EXPECT_GT(key, previous);  // unsigned order: the all-ones handle sorts last
    previous = key;
  }
  EXPECT_NE(map.find(pnt(0x20)), nullptr);
  EXPECT_NE(map.find(pnt(~std::uintptr_t{0})), nullptr);
  EXPECT_EQ(map.find(pnt(0x21)), nullptr);
  EXPECT_EQ(map.find(pnt(0)), nullptr);
  PointMap empty;
  EXPECT_EQ(empty.find(pnt(1)), nullptr);
}

}  // namespace
}  // namespace korv
