// The nearest-edge query: acceptance, tie-breaks, smoothing, the cache it
// fills, and the mesh-info handle it must release on every path.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

#include "edge_test_support.h"
#include "shader/core_input.h"
#include "tests/e2e/generated_meshes.h"

namespace korv::testing {
namespace {

using host::Mesh;
using host::point_id;
using host::polygon_id;

const double kHalfRoot2 = std::sqrt(0.5);
const Vec3 kUntouched{7, 7, 7};
constexpr std::int32_t kUntouchedFlag = 42;

// An instance with default settings and its own cache, queried through the
// host's object-info service; every test checks that each handle it caused
// was released exactly once.
class EdgeQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    set_default_settings(inst_);
    inst_.smooth_edge = 0;
    inst_.cache = create_edge_cache();
    ASSERT_NE(inst_.cache, nullptr);
    host::reset_mesh_service_counts();
  }
  void TearDown() override {
    const host::MeshServiceCounts counts = host::mesh_service_counts();
    EXPECT_EQ(counts.live, 0) << "a mesh-info handle was not released";
    EXPECT_EQ(counts.stray_destroy, 0) << "a mesh-info handle was released twice";
    destroy_edge_cache(inst_.cache);
  }

  double query(const host::SceneObject &object, std::size_t polygon, Vec3 spot) {
    LWShaderAccess access{};
    access.objID = object.id();
    access.polygon = polygon == kNoPolygon ? nullptr : polygon_id(polygon);
    store(spot, access.oPos);
    EdgeQuery found{{}, kUntouched, kUntouchedFlag};
    const double d =
        find_nearest_edge(host::object_info_service(), spot_of(access), source_, found);
    std::tie(normal_, is_open_) = std::tie(found.normal, found.is_open);
    return d;
  }

  void expect_untouched() const {
    EXPECT_EQ(normal_, kUntouched);
    EXPECT_EQ(is_open_, kUntouchedFlag);
  }

  static constexpr std::size_t kNoPolygon = std::size_t(-1);
  EdgeInstance inst_{};
  EdgeSource source_ = edge_source(inst_);
  Vec3 normal_;
  std::int32_t is_open_ = 0;
};

Mesh lone_triangle() {
  Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_point(0, 1, 0);
  m.add_polygon({0, 1, 2});
  return m;
}

TEST_F(EdgeQueryTest, FirstQueryBuildsAndAppendsTheSecondReusesAndAnotherObjectAppends) {
  inst_.open_edge = 1;
  host::SceneObject first(lone_triangle());
  host::SceneObject second(lone_triangle());
  EXPECT_DOUBLE_EQ(query(first, 0, {0.5, 0.1, 0}), 0.1);
  ASSERT_EQ(inst_.cache->databases.size(), 1u);
  EXPECT_EQ(inst_.cache->databases[0]->object_id, first.id());
  const long scans = host::mesh_service_counts().scans;
  EXPECT_EQ(scans, 4);

  EXPECT_DOUBLE_EQ(query(first, 0, {0.1, 0.5, 0}), 0.1);
  EXPECT_EQ(host::mesh_service_counts().scans, scans);
  EXPECT_EQ(inst_.cache->databases.size(), 1u);

  EXPECT_DOUBLE_EQ(query(second, 0, {0.5, 0.1, 0}), 0.1);
  ASSERT_EQ(inst_.cache->databases.size(), 2u);
  EXPECT_EQ(inst_.cache->databases[1]->object_id, second.id());
  EXPECT_EQ(host::mesh_service_counts().scans, 2 * scans);
  EXPECT_EQ(host::mesh_service_counts().mesh_info, 3);
  EXPECT_EQ(host::mesh_service_counts().destroy, 3);
}

// Two render threads that miss the same object both go on to build it, one
// after the other under the lock: the second finds what the first built.
TEST_F(EdgeQueryTest, AQueryThatMissedFindsTheDatabaseAnotherQueryBuiltMeanwhile) {
  host::SceneObject object(lone_triangle());
  LWMeshInfo *first = host::object_info_service()->meshInfo(object.id(), 1);
  LWMeshInfo *second = host::object_info_service()->meshInfo(object.id(), 1);
  const ObjectEdgeDatabase *built =
      find_or_build_edge_database(edge_source(inst_), object.id(), first);
  ASSERT_NE(built, nullptr);
  const long scans = host::mesh_service_counts().scans;
  EXPECT_EQ(scans, 4);
  EXPECT_EQ(find_or_build_edge_database(edge_source(inst_), object.id(), second), built);
  EXPECT_EQ(host::mesh_service_counts().scans, scans) << "built a second time";
  EXPECT_EQ(inst_.cache->databases.size(), 1u);
  first->destroy(first);
  second->destroy(second);
}

// The k-th allocation fails, for every k a sample's build reaches, on meshes
// and settings that make every part of a database, in the shader's builds and
// the node's (which list their polygons): a failed build leaves the sample as
// received, one that got by answers in full. A rebuild takes the working
// memory a good build left in the cache, and leaves an earlier database as
// it was.
TEST_F(EdgeQueryTest, EveryAllocationFailureOfABuildLeavesTheSampleAsReceived) {
  host::SceneObject other(lone_triangle());
  for (const auto &[mesh, open, kind, node, cross, rebuild] :
       {std::tuple(host::box_field({8, 1, 3}), 1, 1, false, 1, false),
        std::tuple(host::box_field({8, 1, 3}), 1, 0, false, 0, true),
        std::tuple(fan_polygon(70), 0, 0, true, 1, false),
        std::tuple(l_prism(), 1, 2, true, 1, false)}) {
    host::SceneObject object(mesh);
    std::tie(inst_.open_edge, inst_.edge_kind, inst_.cross_polygons) =
        std::tuple(open, kind, cross);
    if (node) {  // after the shader's cases
      source_.build_options = [](const EdgeSettings &settings) {
        EdgeBuildOptions listed = edge_build_options(settings, true);
        listed.list_polygons = true;
        return listed;
      };
    }
    const auto &a = mesh.points[mesh.polygon(0)[0]], &b = mesh.points[mesh.polygon(0)[1]];
    const Vec3 spot{(double(a[0]) + b[0]) / 2, (double(a[1]) + b[1]) / 2,
                    (double(a[2]) + b[2]) / 2};
    double whole = -1.0;
    Vec3 whole_normal;
    std::size_t k = 0;
    for (;; ++k) {
      destroy_edge_cache(std::exchange(inst_.cache, create_edge_cache()));
      if (rebuild) {
        (void)query(object, 0, spot);
        empty_edge_cache(inst_.cache);  // as a new time does: the working memory stays
        ASSERT_DOUBLE_EQ(query(other, 0, {0.5, 0.1, 0}), 0.1);
      }
      AllocationFaults::countdown = k;
      const double d = query(object, 0, spot);
      if (AllocationFaults::countdown.exchange(0) != 0) {
        break;  // the build made fewer allocations: each of them has failed once
      }
      whole = k == 0 ? d : whole;
      whole_normal = k == 0 ? normal_ : whole_normal;
      EXPECT_TRUE(find_edge_database(*inst_.cache, object.id()) != nullptr
                      ? d == whole && normal_ == whole_normal
                      : d == -1.0 && normal_ == kUntouched && is_open_ == kUntouchedFlag)
          << "allocation " << k;
      if (rebuild) {  // found as it was, not built again
        const long scans = host::mesh_service_counts().scans;
        EXPECT_EQ(query(other, 0, {0.5, 0.1, 0}), 0.1) << "allocation " << k;
        EXPECT_EQ(host::mesh_service_counts().scans, scans) << "allocation " << k;
      }
    }
    EXPECT_GE(whole, 0.0);
    EXPECT_GT(k, 20u);
  }
}

TEST_F(EdgeQueryTest, SettingsReadByTheBuildOnlyTakeEffectWhenItIsBuiltAgain) {
  host::SceneObject object(lone_triangle());
  EXPECT_EQ(query(object, 0, {0.5, 0.1, 0}), -1.0);  // no open edges
  inst_.open_edge = 1;
  EXPECT_EQ(query(object, 0, {0.5, 0.1, 0}), -1.0);  // still the old database
  empty_edge_cache(inst_.cache);
  EXPECT_DOUBLE_EQ(query(object, 0, {0.5, 0.1, 0}), 0.1);
}

TEST_F(EdgeQueryTest, FootPointsOnTheEndPointsAreAccepted) {
  inst_.open_edge = 1;
  host::SceneObject object(lone_triangle());
  // Below corner 0: t = 0 on the first side; every other side is farther or
  // has its foot point off the side.
  EXPECT_EQ(query(object, 0, {0, -1, 0}), 1.0);
  EXPECT_EQ(normal_, (Vec3{0, -1, 0}));
  EXPECT_EQ(is_open_, 1);
  // Below corner 1: t = 1 on the first side.
  EXPECT_EQ(query(object, 0, {1, -1, 0}), 1.0);
  EXPECT_EQ(normal_, (Vec3{0, -1, 0}));
}

TEST_F(EdgeQueryTest, SpotOutsideEverySideGivesMinusOneAndWritesNothing) {
  inst_.open_edge = 1;
  host::SceneObject object(lone_triangle());
  EXPECT_EQ(query(object, 0, {3, -1, 0}), -1.0);
  expect_untouched();
  EXPECT_EQ(host::mesh_service_counts().destroy, 1);
}

TEST_F(EdgeQueryTest, EqualDistancesKeepTheEdgeMetFirst) {
  // Square with one sharp side (0-1) and three open ones; from the centre
  // every side is 0.5 away. Corner 0 lists the sharp side first.
  inst_.open_edge = 1;
  Mesh m;
  m.add_point(0, 0, 1);
  m.add_point(1, 0, 1);
  m.add_point(1, 1, 1);
  m.add_point(0, 1, 1);
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_polygon({0, 1, 2, 3});
  m.add_polygon({1, 0, 4, 5});
  host::SceneObject object(std::move(m));
  EXPECT_EQ(query(object, 0, {0.5, 0.5, 1}), 0.5);
  EXPECT_EQ(is_open_, 0);
  EXPECT_NEAR(normal_.y, -kHalfRoot2, 1e-15);
  EXPECT_NEAR(normal_.z, kHalfRoot2, 1e-15);
}

TEST_F(EdgeQueryTest, EqualDistancesKeepTheEdgeOfTheEarlierCornerNotTheEarlierRecord) {
  // A 2 x 2 square between walls on y = 2 (listed first) and y = 0: from the
  // centre both walls' edges are 1 away, and corner 0's (towards -y) wins.
  Mesh m;
  for (double z : {1.0, 0.0}) {
    for (int k = 0; k < 4; ++k) {
      m.add_point(k == 1 || k == 2 ? 2 : 0, k < 2 ? 0 : 2, z);
    }
  }
  m.add_polygon({3, 2, 6, 7});
  m.add_polygon({0, 1, 2, 3});
  m.add_polygon({1, 0, 4, 5});
  host::SceneObject object(std::move(m));
  EXPECT_EQ(query(object, 1, {1, 1, 1}), 1.0);
  EXPECT_LT(normal_.y, -0.7);
}

TEST_F(EdgeQueryTest, EqualDistancesAmongManyEdgesOfOnePointKeepTheFirstListed) {
  // Open triangles fanned around the origin, each with a side along +x to a
  // point 2^j away, all exactly 0.5 from the spot: the first of the origin's
  // 48 edges (past the query's first batch), triangle 0's, must win.
  inst_.open_edge = 1;
  Mesh m;
  m.add_point(0, 0, 0);
  auto angle = [](std::uint32_t j) { return (100.0 + 2.5 * j) * kPi / 180.0; };
  for (std::uint32_t j = 0; j < 24; ++j) {
    m.add_point(std::ldexp(1.0, int(j)), 0, 0);
    m.add_point(-1, std::cos(angle(j)), std::sin(angle(j)));
    m.add_polygon({0, 2 * j + 1, 2 * j + 2});
  }
  host::SceneObject object(std::move(m));
  EXPECT_EQ(query(object, 0, {0.5, 0.5, 0}), 0.5);
  EXPECT_NEAR(normal_.y, -std::cos(angle(0)), 1e-6);
}

TEST_F(EdgeQueryTest, PolygonZeroAndPolygonsOfFewerThanThreeVerticesGiveMinusOne) {
  inst_.open_edge = 1;
  Mesh m = lone_triangle();
  m.add_polygon({0, 1});
  m.add_polygon({2});
  host::SceneObject object(std::move(m));
  EXPECT_EQ(query(object, kNoPolygon, {0.5, 0.1, 0}), -1.0);
  expect_untouched();
  EXPECT_EQ(query(object, 1, {0.5, 0.1, 0}), -1.0);
  expect_untouched();
  EXPECT_EQ(query(object, 2, {0.5, 0.1, 0}), -1.0);
  expect_untouched();
  EXPECT_EQ(host::mesh_service_counts().mesh_info, 3);
  EXPECT_EQ(host::mesh_service_counts().destroy, 3);
}

TEST_F(EdgeQueryTest, NullMeshInfoGivesMinusOneAndReleasesNothing) {
  host::SceneObject object(lone_triangle());
  object.faults.null_mesh_info = true;
  EXPECT_EQ(query(object, 0, {0.5, 0.1, 0}), -1.0);
  expect_untouched();
  EXPECT_EQ(host::mesh_service_counts().destroy, 0);
  EXPECT_TRUE(inst_.cache->databases.empty());
}

TEST_F(EdgeQueryTest, FailedBuildGivesMinusOneWithTheHandleReleasedOnceByTheBuild) {
  inst_.open_edge = 1;
  host::SceneObject object(lone_triangle());
  for (int scan = 1; scan <= 4; ++scan) {
    object.faults.fail_scan = scan;
    empty_edge_cache(inst_.cache);  // forgets the last failure
    host::reset_mesh_service_counts();
    EXPECT_EQ(query(object, 0, {0.5, 0.1, 0}), -1.0) << "scan " << scan;
    expect_untouched();
    EXPECT_EQ(host::mesh_service_counts().destroy, 1) << "scan " << scan;
    EXPECT_TRUE(inst_.cache->databases.empty());
    EXPECT_EQ(query(object, 0, {0.5, 0.1, 0}), -1.0);  // remembered: no host call
    EXPECT_EQ(host::mesh_service_counts().mesh_info, 1) << "scan " << scan;
  }
  object.faults.fail_scan = 0;
  empty_edge_cache(inst_.cache);
  EXPECT_DOUBLE_EQ(query(object, 0, {0.5, 0.1, 0}), 0.1);
}

TEST_F(EdgeQueryTest, HostWithoutDestroyIsNeverAskedToRelease) {
  inst_.open_edge = 1;
  host::SceneObject object(lone_triangle());
  object.faults.no_destroy = true;
  EXPECT_DOUBLE_EQ(query(object, 0, {0.5, 0.1, 0}), 0.1);
  EXPECT_EQ(query(object, kNoPolygon, {0.5, 0.1, 0}), -1.0);
  object.faults.fail_scan = 2;
  empty_edge_cache(inst_.cache);
  EXPECT_EQ(query(object, 0, {0.5, 0.1, 0}), -1.0);
  EXPECT_EQ(host::mesh_service_counts().destroy, 0);
}

TEST_F(EdgeQueryTest, EdgeOfLengthZeroIsNeverAccepted) {
  // Points 1 and 2 share a position; from (0.2, 0.2) the two real sides at
  // corner 0 are 0.2 away, and the side of length 0 must not win with 0.
  inst_.open_edge = 1;
  Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_point(1, 0, 0);
  m.add_point(0, 1, 0);
  m.add_polygon({0, 1, 2, 3});
  host::SceneObject object(std::move(m));
  const double d = query(object, 0, {0.2, 0.2, 0});
  EXPECT_NEAR(d, 0.2, 1e-7);
  // On the corner where the zero-length side starts: side 0-1 ends there.
  EXPECT_EQ(query(object, 0, {1, 0, 0}), 0.0);
}

TEST_F(EdgeQueryTest, NaNPositionsAreNeverAcceptedAsADistance) {
  inst_.open_edge = 1;
  Mesh m = lone_triangle();
  m.points[2] = {std::numeric_limits<float>::quiet_NaN(), 1.0f, 0.0f};
  host::SceneObject object(std::move(m));
  EXPECT_FLOAT_EQ(float(query(object, 0, {0.5, -0.25, 0})), 0.25f);
  EXPECT_EQ(is_open_, 1);
  // Beyond the end of the only side without NaN: nothing to accept.
  EXPECT_EQ(query(object, 0, {2, 0.5, 0}), -1.0);
  expect_untouched();
}

// Hand-made databases give the smoothing edge normals that geometry could
// not easily give; the query finds them in the cache and never builds.
class SmoothingTest : public EdgeQueryTest {
 protected:
  // A triangle (0, 0, 0), (1, 0, 0), (0, 1, 0); the best edge is 0-1 with
  // normal n. Point 0 carries neighbours at_a, point 1 neighbours at_b.
  void make(Vec3 n, std::vector<Vec3> at_a, std::vector<Vec3> at_b) {
    object_ = std::make_unique<host::SceneObject>(lone_triangle());
    auto db = std::make_unique<ObjectEdgeDatabase>();
    db->object_id = object_->id();
    ASSERT_TRUE(db->points.assign_keys(
        {point_key(point_id(0)), point_key(point_id(1)), point_key(point_id(2))}));
    db->edge_list = std::make_unique<EdgeList>();
    auto &records = db->edge_list->records;
    ASSERT_TRUE(records.push_back({point_id(0), point_id(1), n, 0}));
    for (const Vec3 &v : at_a)
      ASSERT_TRUE(records.push_back({point_id(2), point_id(0), v, 1}));
    for (const Vec3 &v : at_b)
      ASSERT_TRUE(records.push_back({point_id(1), point_id(2), v, 1}));
    ASSERT_TRUE(db->points.edge_pool.resize(2 + at_a.size() + at_b.size()));
    std::size_t pooled = 0;
    auto give = [&](std::size_t point, std::vector<std::size_t> ks) {
      PointRecord *r = db->points.find(point_id(point));
      r->edge_count = std::int32_t(ks.size());
      r->edges = db->points.edge_pool.data() + pooled;
      pooled += ks.size();
      for (std::size_t i = 0; i < ks.size(); ++i)
        r->edges[i] = &records[ks[i]];
    };
    std::vector<std::size_t> a{0}, b{0};
    for (std::size_t i = 0; i < at_a.size(); ++i)
      a.push_back(1 + i);
    for (std::size_t i = 0; i < at_b.size(); ++i)
      b.push_back(1 + at_a.size() + i);
    give(0, a);
    give(1, b);
    give(2, {});
    ASSERT_TRUE(inst_.cache->databases.push_back(std::move(db)));
    inst_.smooth_edge = 1;
  }

  // Queries a spot 0.1 off the best edge at parameter t.
  void query_at(double t) {
    EXPECT_NEAR(query(*object_, 0, {t, -0.1, 0}), 0.1, 1e-15);
    EXPECT_EQ(host::mesh_service_counts().scans, 0) << "the hand-made database was rebuilt";
  }

  std::unique_ptr<host::SceneObject> object_;
};

TEST_F(SmoothingTest, WithoutNeighboursWithinTheAngleTheOutputIsTheEdgeNormal) {
  inst_.smooth_cos = kPi / 4.0;
  make({0, -2, 0}, {{1, 0, 0}}, {{0, 0, 1}});
  query_at(0.3);
  EXPECT_EQ(normal_, (Vec3{0, -1, 0}));
  EXPECT_EQ(is_open_, 0);
}

TEST_F(SmoothingTest, SmoothingOffGivesTheStoredNormalNormalised) {
  make({0, -2, 0}, {{0, -1, 0}}, {{0, -1, 0}});
  inst_.smooth_edge = 0;
  query_at(0.3);
  EXPECT_EQ(normal_, (Vec3{0, -1, 0}));
}

TEST_F(SmoothingTest, NeighbourExactlyAtTheCosineIsIncluded) {
  // cos(pi) is exactly -1: a neighbour pointing the opposite way is at the
  // cosine. At end b it cancels the edge normal and leaves the third one.
  inst_.smooth_cos = kPi;
  ASSERT_EQ(std::cos(inst_.smooth_cos), -1.0);
  make({0, -1, 0}, {}, {{0, 1, 0}, {1, 0, 0}});
  query_at(0.25);
  Vec3 expected = 0.75 * Vec3{0, -1, 0} + 0.25 * Vec3{1, 0, 0};
  expected.normalize();
  EXPECT_EQ(normal_, expected);
}

TEST_F(SmoothingTest, EndsAreBlendedByTheParameter) {
  inst_.smooth_cos = kPi / 3.0;  // cosine 0.5
  make({0, -1, 0}, {{0, -1, 1}}, {{0.6, -0.8, 0}});
  query_at(0.25);
  Vec3 ea = Vec3{0, -1, 0} + Vec3{0, -1, 1};
  ea.normalize();
  Vec3 eb = Vec3{0, -1, 0} + Vec3{0.6, -0.8, 0};
  eb.normalize();
  Vec3 expected = 0.75 * ea + 0.25 * eb;
  expected.normalize();
  EXPECT_EQ(normal_, expected);
}

TEST_F(SmoothingTest, NeighboursAreComparedWithTheEdgeNormalNotTheRunningSum) {
  // Both neighbours lie within 60 degrees of (0, -1, 0); the second does
  // not lie within 60 degrees of the edge normal plus the first.
  inst_.smooth_cos = kPi / 3.0;
  make({0, -1, 0}, {{0.85, -0.53, 0}, {-0.85, -0.53, 0}}, {});
  query_at(0.0);
  Vec3 expected = Vec3{0, -1, 0} + Vec3{0.85, -0.53, 0} + Vec3{-0.85, -0.53, 0};
  expected.normalize();
  EXPECT_EQ(normal_, expected);
}

TEST_F(SmoothingTest, CancellingEndSumLeavesTheOtherEndScaledByItsWeight) {
  inst_.smooth_cos = kPi;
  make({0, -1, 0}, {{0, 1, 0}}, {{1, 0, 0}});
  query_at(0.25);
  Vec3 eb = Vec3{0, -1, 0} + Vec3{1, 0, 0};
  eb.normalize();
  Vec3 expected = 0.75 * Vec3{} + 0.25 * eb;
  expected.normalize();
  EXPECT_EQ(normal_, expected);
}

TEST_F(SmoothingTest, BlendOfLengthZeroGivesTheZeroNormal) {
  inst_.smooth_cos = kPi;
  make({0, -1, 0}, {{0, 1, 0}}, {{0, 1, 0}});
  query_at(0.5);
  EXPECT_EQ(normal_, (Vec3{0, 0, 0}));
}

}  // namespace
}  // namespace korv::testing
