// The edge build when the host lets it down: a scan that fails at each of
// the four passes, a mesh-info object without destroy, and a mesh whose
// polygons change between scans.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "edge_test_support.h"
#include "host/box_field.h"
#include "host/builtin_meshes.h"

namespace korv::testing {
namespace {

host::Mesh cube() {
  host::Mesh m;
  EXPECT_TRUE(host::builtin_mesh("cube", m));
  return m;
}

struct FailingScan {
  int scan;            // 1 to 4: the pass whose scan fails
  std::size_t visits;  // elements handed over before the failure
  bool without_destroy;
};

void PrintTo(const FailingScan &c, std::ostream *out) {
  *out << "scan " << c.scan << " fails after " << c.visits << " elements"
       << (c.without_destroy ? ", no destroy" : "");
}

class FailingScans : public ::testing::TestWithParam<FailingScan> {};

TEST_P(FailingScans, BuildReturnsNullReleasesTheMeshOnceAndLeavesTheCacheAlone) {
  const FailingScan &c = GetParam();
  host::SceneObject earlier(cube());
  host::SceneObject object(host::box_field({5, 2, 2}));
  object.faults.fail_scan = c.scan;
  object.faults.fail_scan_visits = c.visits;
  object.faults.no_destroy = c.without_destroy;

  EdgeCache cache;
  {
    LWMeshInfo *info = host::object_info_service()->meshInfo(earlier.id(), 1);
    ASSERT_NE(build_edge_database(cache, earlier.id(), info, {kCos89_5, 1, 0}), nullptr);
    info->destroy(info);
  }
  ObjectEdgeDatabase *const first = cache.databases[0].get();
  // The failed build frees its own pools only.
  const EdgeSnapshot first_before = snapshot(*first);

  host::reset_mesh_service_counts();
  LWMeshInfo *info = host::object_info_service()->meshInfo(object.id(), 1);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(build_edge_database(cache, object.id(), info, {kCos89_5, 1, 0}), nullptr);
  const host::MeshServiceCounts counts = host::mesh_service_counts();
  EXPECT_EQ(counts.scans, c.scan) << "the passes after the failing one must not run";
  EXPECT_EQ(counts.destroy, c.without_destroy ? 0 : 1);
  EXPECT_EQ(counts.stray_destroy, 0);
  EXPECT_EQ(counts.live, 0);
  ASSERT_EQ(cache.databases.size(), 1u);
  EXPECT_EQ(cache.databases[0].get(), first);
  expect_same(snapshot(*first), first_before);
  EXPECT_EQ(find_edge_database(cache, object.id()), nullptr);
  empty_edge_cache(&cache);
}

std::vector<FailingScan> failing_scans() {
  std::vector<FailingScan> cases;
  for (int scan = 1; scan <= 4; ++scan) {
    for (std::size_t visits : {std::size_t(0), std::size_t(7)}) {
      for (bool without_destroy : {false, true}) {
        cases.push_back({scan, visits, without_destroy});
      }
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(EachPass, FailingScans, ::testing::ValuesIn(failing_scans()));

TEST(EdgeBuildFaults, SuccessfulBuildLeavesTheMeshToTheCaller) {
  host::SceneObject object(cube());
  host::reset_mesh_service_counts();
  EdgeCache cache;
  LWMeshInfo *info = host::object_info_service()->meshInfo(object.id(), 1);
  ASSERT_NE(build_edge_database(cache, object.id(), info, {kCos89_5, 0, 0}), nullptr);
  EXPECT_EQ(host::mesh_service_counts().destroy, 0);
  EXPECT_EQ(host::mesh_service_counts().scans, 4);
  // The handle is still usable by the caller.
  EXPECT_EQ(info->polSize(info, host::polygon_id(0)), 4);
  info->destroy(info);
  EXPECT_EQ(host::mesh_service_counts().live, 0);
  empty_edge_cache(&cache);
}

// Every point record stays within what it counted, and each entry of its
// polygons array up to polygon_fill is a polygon of one of the two meshes.
void expect_within_counts(const ObjectEdgeDatabase &database, std::size_t polygon_limit) {
  for (const auto &[key, record] : database.points) {
    EXPECT_LE(record.polygon_fill, record.polygon_count) << "point " << key;
    EXPECT_GE(record.polygon_fill, 0);
    for (std::int32_t i = 0; i < record.polygon_fill; ++i) {
      const std::size_t p = host::polygon_index(record.polygons[std::size_t(i)]);
      EXPECT_LT(p, polygon_limit);
    }
    for (std::int32_t i = 0; i < record.edge_count; ++i) {
      ASSERT_NE(record.edges[std::size_t(i)], nullptr);
    }
  }
}

class ChangingMesh : public ::testing::TestWithParam<int> {};

TEST_P(ChangingMesh, MorePolygonsAfterTheCountNeverWriteBeyondTheCounts) {
  // After scan k the host shows twice the polygons: every point is used
  // twice as often as it was counted, and some polygons reach points that
  // were never counted at all.
  host::Mesh small = host::box_field({3, 2, 2});
  auto grown = std::make_shared<host::Mesh>(small);
  for (std::size_t p = 0; p < small.polygon_count(); ++p) {
    grown->add_polygon(small.polygon(p));
  }
  const std::uint32_t extra = grown->add_point(9, 9, 9);
  grown->add_polygon({0, 1, extra});
  grown->add_polygon({extra, 2, 3});
  host::SceneObject object(std::move(small));
  object.faults.mutate_after_scan = GetParam();
  object.faults.alt_mesh = grown;
  host::reset_mesh_service_counts();
  EdgeCache cache;
  LWMeshInfo *info = host::object_info_service()->meshInfo(object.id(), 1);
  ObjectEdgeDatabase *database = build_edge_database(cache, object.id(), info, {kCos89_5, 1, 0});
  ASSERT_NE(database, nullptr);
  expect_within_counts(*database, grown->polygon_count());
  EXPECT_EQ(database->points.find(host::point_id(extra)), nullptr);
  info->destroy(info);
  EXPECT_EQ(host::mesh_service_counts().live, 0);
  empty_edge_cache(&cache);
}

TEST_P(ChangingMesh, FewerPolygonsAfterTheCountLeaveTheRestUnfilled) {
  host::Mesh full = host::box_field({3, 2, 2});
  auto shrunk = std::make_shared<host::Mesh>();
  shrunk->points = full.points;
  for (std::size_t p = 0; p < full.polygon_count(); p += 2) {
    shrunk->add_polygon(full.polygon(p));
  }
  host::SceneObject object(std::move(full));
  object.faults.mutate_after_scan = GetParam();
  object.faults.alt_mesh = shrunk;
  EdgeCache cache;
  LWMeshInfo *info = host::object_info_service()->meshInfo(object.id(), 1);
  ObjectEdgeDatabase *database = build_edge_database(cache, object.id(), info, {kCos89_5, 1, 0});
  ASSERT_NE(database, nullptr);
  expect_within_counts(*database, object.mesh().polygon_count());
  if (GetParam() == 1) {
    // The fill saw half the uses it counted.
    std::size_t short_filled = 0;
    for (const auto &[key, record] : database->points) {
      short_filled += record.polygon_fill < record.polygon_count ? 1 : 0;
    }
    EXPECT_GT(short_filled, 0u);
  }
  info->destroy(info);
  empty_edge_cache(&cache);
}

TEST_P(ChangingMesh, SidesBeyondTheCountedUsesAreEachRecordedOnce) {
  // Counted: triangles of points used once each; shown later: a polygon from
  // point 0 to each of 29 others and back, twice, so that point 0 ends far
  // more sides than its one use could.
  host::Mesh counted;
  std::vector<std::uint32_t> spokes;
  for (std::uint32_t i = 0; i < 60; ++i) {
    counted.add_point(i % 4, i / 4, i % 3);
    if (i < 30) {
      spokes.insert(spokes.end(), {0, i});
    }
  }
  auto later = std::make_shared<host::Mesh>(counted);
  for (std::uint32_t i = 0; i < 60; i += 3) {
    counted.add_polygon({i, i + 1, i + 2});
  }
  later->add_polygon(spokes);
  later->add_polygon(spokes);
  BuiltMesh built(std::move(counted), {kCos89_5, 1, 0},
                  {.mutate_after_scan = GetParam(), .alt_mesh = later});
  ASSERT_NE(built.database, nullptr);
  expect_same(snapshot(*built.database), reference_snapshot(built.object, {kCos89_5, 1, 0}));
}

INSTANTIATE_TEST_SUITE_P(AfterScan, ChangingMesh, ::testing::Values(1, 2, 3));

// A host whose polSize cannot be trusted: negative counts, and counts that
// no database could hold, which would otherwise make a point's 32-bit count
// wrap or ask for arrays larger than a 32-bit process has room for.
struct AbsurdSize {
  const char *name;
  int size;                   // what polSize reports for the polygon
  std::size_t polygon;        // the polygon that reports it
  bool only_after_the_count;  // the polygon appears only after the count pass
  bool builds;                // whether the build succeeds
  int scans;                  // scans run before the build ends
};

void PrintTo(const AbsurdSize &c, std::ostream *out) {
  *out << c.name;
}

class AbsurdPolygonSize : public ::testing::TestWithParam<AbsurdSize> {};

TEST_P(AbsurdPolygonSize, IsIgnoredOrFailsTheBuildWithTheMeshReleasedOnce) {
  const AbsurdSize &c = GetParam();
  // Two triangles, the second listing point 0 at every corner, then a
  // polygon holding only point 0: with a size of INT32_MAX it would report
  // point 0 more than 2^31 times.
  host::Mesh mesh;
  mesh.add_point(0, 0, 0);
  mesh.add_point(1, 0, 0);
  mesh.add_point(0, 1, 0);
  mesh.add_polygon({0, 1, 2});
  mesh.add_polygon({0, 0, 0});
  host::Mesh shown_later = mesh;
  shown_later.add_polygon({0});
  if (!c.only_after_the_count) {
    mesh = shown_later;
  }
  host::SceneObject earlier(cube());
  host::SceneObject object(std::move(mesh));
  object.faults.absurd_polygon = c.polygon;
  object.faults.absurd_size = c.size;
  if (c.only_after_the_count) {
    object.faults.mutate_after_scan = 1;
    object.faults.alt_mesh = std::make_shared<host::Mesh>(shown_later);
  }

  EdgeCache cache;
  {
    LWMeshInfo *info = host::object_info_service()->meshInfo(earlier.id(), 1);
    ASSERT_NE(build_edge_database(cache, earlier.id(), info, {kCos89_5, 1, 0}), nullptr);
    info->destroy(info);
  }
  host::reset_mesh_service_counts();
  LWMeshInfo *info = host::object_info_service()->meshInfo(object.id(), 1);
  ObjectEdgeDatabase *database = build_edge_database(cache, object.id(), info, {kCos89_5, 1, 0});
  const host::MeshServiceCounts counts = host::mesh_service_counts();
  EXPECT_EQ(counts.scans, c.scans);
  EXPECT_EQ(counts.stray_destroy, 0);
  if (c.builds) {
    ASSERT_NE(database, nullptr);
    EXPECT_EQ(counts.destroy, 0);
    EXPECT_EQ(cache.databases.size(), 2u);
    // A polygon reporting fewer than three corners takes no part: point 0
    // keeps the uses of the first two triangles.
    if (c.polygon == 2) {
      EXPECT_EQ(database->points.find(host::point_id(0))->polygon_count, 4);
    }
    expect_same(snapshot(*database), thinned(reference_snapshot(object, {kCos89_5, 1, 0})));
    info->destroy(info);
  } else {
    EXPECT_EQ(database, nullptr);
    EXPECT_EQ(counts.destroy, 1);
    EXPECT_EQ(cache.databases.size(), 1u);
    EXPECT_EQ(find_edge_database(cache, object.id()), nullptr);
    // The reference build refuses the mesh as well.
    LWMeshInfo *again = host::object_info_service()->meshInfo(object.id(), 1);
    EdgeSnapshot unused;
    EXPECT_FALSE(ReferenceBuild(again, {kCos89_5, 1, 0}).run(unused));
    again->destroy(again);
  }
  EXPECT_EQ(host::mesh_service_counts().live, 0);
  empty_edge_cache(&cache);
}

// The largest size a polygon after the first two triangles (six uses) can
// report without the uses passing what a database holds on this platform.
constexpr int kLargestAfterSix = int(kMaxCornerUses - 6);

INSTANTIATE_TEST_SUITE_P(
    Cases, AbsurdPolygonSize,
    ::testing::Values(
        AbsurdSize{"minus one is a polygon of no corners", -1, 2, false, true, 4},
        AbsurdSize{"INT32_MIN is a polygon of no corners", INT32_MIN, 2, false, true, 4},
        AbsurdSize{"a triangle reporting minus three", -3, 0, false, true, 4},
        AbsurdSize{"one point more than 2^31 times", INT32_MAX, 2, false, false, 1},
        AbsurdSize{"one use more than a database holds", kLargestAfterSix + 1, 2, false, false, 1},
        AbsurdSize{"a polygon larger than all the uses counted, in the fill pass", INT32_MAX, 2,
                   true, false, 2},
        AbsurdSize{"seven corners where six uses were counted", 7, 2, true, false, 2}),
    [](const ::testing::TestParamInfo<AbsurdSize> &info) {
      std::string name = info.param.name;
      for (char &ch : name) {
        ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      }
      return name;
    });

TEST(EdgeBuildFaults, TwentyThousandPolygonFanAroundOnePointFinishes) {
  // A flat fan: at an edge detection angle of 0 every spoke is sharp, and
  // with open edges the rim adds one edge per polygon. The obvious build
  // would compare the centre's 20,000 polygons against each other.
  constexpr std::uint32_t kBlades = 20000;
  host::Mesh fan;
  fan.add_point(0, 0, 0);
  for (std::uint32_t i = 0; i < kBlades; ++i) {
    const double angle = 2.0 * std::numbers::pi * double(i) / double(kBlades);
    fan.add_point(std::cos(angle), std::sin(angle), 0);
  }
  for (std::uint32_t i = 0; i < kBlades; ++i) {
    fan.add_polygon({0, 1 + i, 1 + (i + 1) % kBlades});
  }
  BuiltMesh b(fan, {1.0, 1, 0});
  ASSERT_NE(b.database, nullptr);
  ASSERT_EQ(b.edges().size(), 2u * kBlades);
  const PointRecord *centre = b.point(0);
  ASSERT_NE(centre, nullptr);
  EXPECT_EQ(centre->polygon_count, std::int32_t(kBlades));
  ASSERT_EQ(centre->edge_count, std::int32_t(kBlades));
  // Polygon i records its rim side (open) and its side back to the centre
  // (sharp, shared with polygon i + 1); polygon 0 also records the first
  // spoke. The centre lists exactly the spokes, in list order.
  for (std::uint32_t k = 0; k + 1 < kBlades; ++k) {
    EXPECT_EQ(b.edge_index(centre->edges[k]) < b.edge_index(centre->edges[k + 1]), true);
  }
  std::size_t open = 0;
  for (const EdgeRecord &e : b.edges()) {
    open += std::size_t(e.is_open);
  }
  EXPECT_EQ(open, kBlades);
  for (std::uint32_t i = 1; i <= kBlades; ++i) {
    EXPECT_EQ(b.point(i)->edge_count, 3) << "rim point " << i;
  }
}

TEST(EdgeBuildFaults, APolygonListingOnePointTwentyThousandTimesFinishes) {
  // Every side of the collapsed polygon joins point 0 to itself; its
  // neighbour is the triangle, the other polygon at point 0. Each side used
  // to walk all 20,000 uses of point 0 by the polygon itself.
  constexpr std::uint32_t kUses = 20000;
  host::Mesh mesh;
  mesh.add_point(0, 0, 0);
  mesh.add_point(1, 0, 0);
  mesh.add_point(0, 1, 0);
  mesh.add_polygon(std::vector<std::uint32_t>(kUses, 0));
  mesh.add_polygon({0, 1, 2});
  BuiltMesh b(mesh, {kCos89_5, 1, 0});
  ASSERT_NE(b.database, nullptr);
  EXPECT_EQ(b.point(0)->polygon_count, std::int32_t(kUses + 1));
  // The collapsed polygon has no normal: its first side is sharp against
  // the triangle (recorded once, with the triangle's normal), and the
  // triangle's three sides are open.
  ASSERT_EQ(b.edges().size(), 4u);
  const EdgeRecord &loop = b.edges()[0];
  EXPECT_EQ(loop.point_a, host::point_id(0));
  EXPECT_EQ(loop.point_b, host::point_id(0));
  EXPECT_EQ(loop.is_open, 0);
  EXPECT_EQ(loop.normal, (Vec3{0, 0, 1}));
  for (std::size_t k = 1; k < 4; ++k) {
    EXPECT_EQ(b.edges()[k].is_open, 1) << "edge " << k;
  }
  // An edge whose two ends are one point is listed there once.
  ASSERT_EQ(b.point(0)->edge_count, 3);
  EXPECT_EQ(b.point(0)->edges[0], &loop);
}

}  // namespace
}  // namespace korv::testing
