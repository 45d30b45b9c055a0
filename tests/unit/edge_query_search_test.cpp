// The query's search of a built database against its definition: every
// candidate edge measured with edge_distance, accepted in order, smoothed
// with a cosine taken afresh. The query itself skips arithmetic whose outcome
// is known; its answers must not differ in a single bit, and the host must
// see exactly the calls of the definition, in the same order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "edge_test_support.h"
#include "host/box_field.h"
#include "host/builtin_meshes.h"
#include "host/mesh_io.h"
#include "shader/core_input.h"

namespace korv::testing {
namespace {

namespace fs = std::filesystem;

struct Answer {
  double distance = -1.0;
  Vec3 normal{7, 7, 7};
  std::int32_t is_open = 42;
};

bool same_bits(const Answer &a, const Answer &b) {
  return std::memcmp(&a.distance, &b.distance, sizeof(double)) == 0 &&
         std::memcmp(&a.normal, &b.normal, sizeof(Vec3)) == 0 && a.is_open == b.is_open;
}

std::ostream &operator<<(std::ostream &out, const Answer &a) {
  return out << "{" << a.distance << ", (" << a.normal.x << ", " << a.normal.y << ", " << a.normal.z
             << "), " << a.is_open << "}";
}

// The query of a database that exists, step by step as defined, without any
// shortcut.
Answer defined_answer(const ObjectEdgeDatabase &database, LWMeshInfo *mesh, LWPolID polygon,
                      const Vec3 &spot, const EdgeInstance &inst) {
  Answer answer;
  const int n = mesh->polSize(mesh, polygon);
  if (n < 3) {
    return answer;
  }
  double best_distance = 1e20;
  const EdgeRecord *best = nullptr;
  double best_t = 0.0;
  for (int i = 0; i < n; ++i) {
    const PointRecord *record = database.points.find(mesh->polVertex(mesh, polygon, i));
    if (record == nullptr) {
      continue;
    }
    for (std::int32_t j = 0; j < record->edge_count; ++j) {
      const EdgeRecord *edge = record->edges[std::size_t(j)];
      double t = std::numeric_limits<double>::quiet_NaN();
      const double d = edge_distance(*edge, mesh, spot, &t);
      if (t >= 0.0 && t <= 1.0 && d < best_distance) {
        best = edge;
        best_distance = d;
        best_t = t;
      }
    }
  }
  if (best == nullptr) {
    return answer;
  }
  Vec3 blended = best->normal;
  if (inst.smooth_edge != 0) {
    const double c = std::cos(inst.smooth_cos);
    auto end = [&](LWPntID point) {
      Vec3 sum = best->normal;
      const PointRecord *record = database.points.find(point);
      for (std::int32_t j = 0; j < record->edge_count; ++j) {
        const EdgeRecord *other = record->edges[std::size_t(j)];
        if (other != best && dot(best->normal, other->normal) >= c) {
          sum = sum + other->normal;
        }
      }
      return sum.normalize();
    };
    const Vec3 at_a = end(best->point_a);
    const Vec3 at_b = end(best->point_b);
    blended = (1.0 - best_t) * at_a + best_t * at_b;
  }
  answer.is_open = best->is_open;
  answer.normal = blended.normalize();
  answer.distance = best_distance;
  return answer;
}

// An object-info service that hands out the stand-in host's mesh-info
// objects wrapped, so that every call the module makes is written down.
class RecordingHost {
 public:
  RecordingHost() {
    service_.meshInfo = mesh_info;
    current_ = this;
  }
  ~RecordingHost() { current_ = nullptr; }
  RecordingHost(const RecordingHost &) = delete;
  RecordingHost &operator=(const RecordingHost &) = delete;

  LWObjectInfo *service() { return &service_; }
  std::vector<std::string> calls;

 private:
  struct Wrapped {
    LWMeshInfo record{};
    LWMeshInfo *inner = nullptr;
  };
  static LWMeshInfo *inner(LWMeshInfoID mesh) { return static_cast<Wrapped *>(mesh->priv)->inner; }
  static void log(std::string call) { current_->calls.push_back(std::move(call)); }
  static std::string id(const void *p) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(p));
  }

  static LWMeshInfoID mesh_info(LWItemID object, int frozen) {
    log("meshInfo");
    LWMeshInfo *real = host::object_info_service()->meshInfo(object, frozen);
    if (real == nullptr) {
      return nullptr;
    }
    auto *w = new Wrapped;
    w->inner = real;
    LWMeshInfo &r = w->record;
    r.priv = w;
    r.destroy = [](LWMeshInfoID mesh) {
      log("destroy");
      auto *w = static_cast<Wrapped *>(mesh->priv);
      w->inner->destroy(w->inner);
      delete w;
    };
    r.scanPoints = [](LWMeshInfoID mesh, LWPntScanFunc *callback, void *data) {
      log("scanPoints");
      return inner(mesh)->scanPoints(inner(mesh), callback, data);
    };
    r.scanPolys = [](LWMeshInfoID mesh, LWPolScanFunc *callback, void *data) {
      log("scanPolys");
      return inner(mesh)->scanPolys(inner(mesh), callback, data);
    };
    r.pntBasePos = [](LWMeshInfoID mesh, LWPntID point, LWFVector pos) {
      log("pntBasePos " + id(point));
      inner(mesh)->pntBasePos(inner(mesh), point, pos);
    };
    r.pntOtherPos = [](LWMeshInfoID mesh, LWPntID point, LWFVector pos) {
      log("pntOtherPos " + id(point));
      inner(mesh)->pntOtherPos(inner(mesh), point, pos);
    };
    r.polSize = [](LWMeshInfoID mesh, LWPolID polygon) {
      log("polSize " + id(polygon));
      return inner(mesh)->polSize(inner(mesh), polygon);
    };
    r.polVertex = [](LWMeshInfoID mesh, LWPolID polygon, int vertex) {
      log("polVertex " + id(polygon) + " " + std::to_string(vertex));
      return inner(mesh)->polVertex(inner(mesh), polygon, vertex);
    };
    return &w->record;
  }

  static inline RecordingHost *current_ = nullptr;
  LWObjectInfo service_{};
};

// A fan of 40 triangles around one point, so that the point has more edges
// than the query measures in one batch, beside a cube.
host::Mesh fan_and_cube() {
  host::Mesh m;
  host::builtin_mesh("cube", m);
  const std::uint32_t centre = m.add_point(0.0, 0.0, 3.0);
  constexpr int kBlades = 40;
  std::vector<std::uint32_t> rim;
  for (int i = 0; i < kBlades; ++i) {
    const double a = 2.0 * kPi * i / kBlades;
    rim.push_back(m.add_point(std::cos(a), std::sin(a), 3.0 + 0.3 * (i % 3)));
  }
  for (int i = 0; i < kBlades; ++i) {
    m.add_polygon({centre, rim[std::size_t(i)], rim[std::size_t((i + 1) % kBlades)]});
  }
  return m;
}

class EdgeQuerySearch : public ::testing::Test {
 protected:
  void SetUp() override {
    set_default_settings(inst_);
    inst_.cache = create_edge_cache();
    ASSERT_NE(inst_.cache, nullptr);
  }
  void TearDown() override { destroy_edge_cache(inst_.cache); }

  Answer query(LWObjectInfo *service, const host::SceneObject &object, std::size_t polygon,
               const Vec3 &spot) {
    LWShaderAccess access{};
    access.objID = object.id();
    access.polygon = host::polygon_id(polygon);
    store(spot, access.oPos);
    EdgeQuery found{{}, Answer{}.normal, Answer{}.is_open};
    const double distance = find_nearest_edge(service, spot_of(access), edge_source(inst_), found);
    return {distance, found.normal, found.is_open};
  }

  // Spots on and around each polygon (corners, centre, beyond the sides),
  // each queried and compared with the definition.
  void expect_definition_everywhere(const host::SceneObject &object, int spots_per_polygon) {
    const host::Mesh &m = object.mesh();
    std::mt19937 random(11);
    std::uniform_real_distribution<double> weight(-0.2, 1.0);
    int compared = 0;
    for (std::size_t p = 0; p < m.polygon_count(); ++p) {
      const auto corners = m.polygon(p);
      if (corners.size() < 3) {
        continue;
      }
      for (int s = 0; s < spots_per_polygon; ++s) {
        // A weighted mix of the corners, some weights negative: spots inside,
        // on and beyond the sides.
        Vec3 spot;
        double total = 0.0;
        for (std::uint32_t c : corners) {
          const double w = s == 0 ? 1.0 : weight(random);
          const auto &q = m.points[c];
          spot = spot + w * Vec3{q[0], q[1], q[2]};
          total += w;
        }
        if (total == 0.0) {
          continue;
        }
        spot = (1.0 / total) * spot;
        const Answer got = query(host::object_info_service(), object, p, spot);
        const ObjectEdgeDatabase *database = find_edge_database(*inst_.cache, object.id());
        ASSERT_NE(database, nullptr);
        LWMeshInfo *mesh = host::object_info_service()->meshInfo(object.id(), 1);
        const Answer want = defined_answer(*database, mesh, host::polygon_id(p), spot, inst_);
        mesh->destroy(mesh);
        ASSERT_TRUE(same_bits(got, want))
            << "polygon " << p << " spot " << spot.x << ", " << spot.y << ", " << spot.z
            << ": the query gave " << got << ", the definition " << want;
        ++compared;
      }
    }
    EXPECT_GT(compared, 0);
  }

  EdgeInstance inst_{};
};

TEST_F(EdgeQuerySearch, AgreesBitForBitWithTheDefinitionOnGeneratedMeshes) {
  for (const char *name : {"cube", "boxes", "panel", "machined"}) {
    SCOPED_TRACE(name);
    host::Mesh mesh;
    ASSERT_TRUE(host::builtin_mesh(name, mesh));
    host::SceneObject object(std::move(mesh));
    inst_.open_edge = 1;
    expect_definition_everywhere(object, 6);
    inst_.smooth_edge = 0;
    expect_definition_everywhere(object, 2);
    inst_.smooth_edge = 1;
    empty_edge_cache(inst_.cache);
  }
  host::SceneObject fan(fan_and_cube());
  expect_definition_everywhere(fan, 8);
  host::SceneObject field(host::box_field({3, 2, 2}));
  expect_definition_everywhere(field, 3);
  // 4,096 corners on a circle: near the centre, more nodes than the frontier holds.
  host::Mesh circle;
  std::vector<std::uint32_t> ring;
  for (int i = 0; i < 4096; ++i) {
    ring.push_back(circle.add_point(std::cos(kPi * i / 2048), std::sin(kPi * i / 2048), 0.0));
  }
  circle.add_polygon(ring);
  host::SceneObject disc(std::move(circle));
  expect_definition_everywhere(disc, 4);
}

// A polygon may name a point the host's point scan never shows (a reference
// past the object's points, which the host reads at the origin). Such a
// point lists no edges, so its sides are measured only where they are met at
// the other corners, also when it is the first or the previous corner, and
// also in a polygon with so many corners that its candidates are indexed.
TEST_F(EdgeQuerySearch, SidesToAPointTheHostNeverShowsAreMeasuredWhereMet) {
  for (const int shown : {2, 80}) {
    SCOPED_TRACE(std::to_string(shown) + " points shown");
    // The missing point, then the shown ones on a quarter circle from x to y.
    host::Mesh m;
    std::vector<std::uint32_t> corners{std::uint32_t(shown + 3)};
    for (int i = 0; i < shown; ++i) {
      const double a = kPi / 2.0 * double(i) / double(shown - 1);
      m.add_point(std::cos(a), std::sin(a), 0.0);
      corners.push_back(std::uint32_t(i));
    }
    m.add_polygon(corners);
    const Vec3 arc{(m.points[0][0] + m.points[1][0]) * 0.49,
                   (m.points[0][1] + m.points[1][1]) * 0.49, 0.0};
    host::SceneObject object(std::move(m));
    inst_.open_edge = 1;
    inst_.smooth_edge = 0;
    empty_edge_cache(inst_.cache);
    // Near the side from the missing point (at the origin) to point 0, near
    // the side from the last point back to it, and near the side after
    // point 0.
    for (const Vec3 spot : {Vec3{0.5, 0.01, 0.0}, Vec3{0.01, 0.5, 0.0}, arc}) {
      const Answer got = query(host::object_info_service(), object, 0, spot);
      const ObjectEdgeDatabase *database = find_edge_database(*inst_.cache, object.id());
      ASSERT_NE(database, nullptr);
      LWMeshInfo *mesh = host::object_info_service()->meshInfo(object.id(), 1);
      const Answer want = defined_answer(*database, mesh, host::polygon_id(0), spot, inst_);
      mesh->destroy(mesh);
      EXPECT_TRUE(same_bits(got, want))
          << "spot " << spot.x << ", " << spot.y << ": the query gave " << got
          << ", the definition " << want;
      EXPECT_LT(got.distance, 0.02);  // the nearest side is the one the spot lies by
    }
  }
}

TEST_F(EdgeQuerySearch, AgreesBitForBitWithTheDefinitionOnTheSharedMeshes) {
  const fs::path dir = KORV_SHARED_MESHES;
  if (!fs::is_directory(dir)) {
    GTEST_SKIP() << "the shared meshes are not at " << dir;
  }
  inst_.open_edge = 1;
  for (const auto &entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".obj") {
      continue;
    }
    SCOPED_TRACE(entry.path().filename().string());
    host::Mesh mesh;
    std::string error;
    ASSERT_TRUE(host::load_mesh_file(entry.path().string(), mesh, error)) << error;
    host::SceneObject object(std::move(mesh));
    expect_definition_everywhere(object, 2);
  }
}

// The smoothing cosine is kept with the database for the angle it was built
// with; a different angle later must be taken afresh, not the kept one.
TEST_F(EdgeQuerySearch, ASmoothingAngleChangedAfterTheBuildIsUsedAtTheNextQuery) {
  host::Mesh mesh;
  ASSERT_TRUE(host::builtin_mesh("machined", mesh));
  host::SceneObject object(std::move(mesh));
  inst_.smooth_cos = kPi / 4.0;
  expect_definition_everywhere(object, 3);
  ASSERT_EQ(inst_.cache->databases.size(), 1u);
  for (double angle : {kPi / 2.0, 0.01, kPi / 4.0, kPi}) {
    inst_.smooth_cos = angle;
    expect_definition_everywhere(object, 3);
  }
  EXPECT_EQ(inst_.cache->databases.size(), 1u) << "the angle must not cause a rebuild";
}

// The host sees exactly the calls of the definition: meshInfo, polSize, then
// per corner polVertex and per edge at that corner the base positions of
// point_a and point_b, and destroy last. Sides met at two corners, and a
// corner with more edges than one batch, included.
TEST_F(EdgeQuerySearch, MakesTheHostCallsOfTheDefinitionInTheirOrder) {
  host::SceneObject object(fan_and_cube());
  RecordingHost host;
  // The first query builds; the ones recorded below find the database.
  query(host.service(), object, 0, {0.5, 0.5, 1.0});
  const ObjectEdgeDatabase *database = find_edge_database(*inst_.cache, object.id());
  ASSERT_NE(database, nullptr);
  const std::size_t fan_polygon = object.mesh().polygon_count() - 1;
  ASSERT_GT(
      database->points.find(host::point_id(object.mesh().polygon(fan_polygon)[0]))->edge_count, 16);

  auto id = [](const void *p) { return std::to_string(reinterpret_cast<std::uintptr_t>(p)); };
  for (std::size_t polygon : {std::size_t(0), std::size_t(3), fan_polygon}) {
    SCOPED_TRACE(polygon);
    const auto corners = object.mesh().polygon(polygon);
    std::vector<std::string> expected = {"meshInfo", "polSize " + id(host::polygon_id(polygon))};
    for (std::size_t i = 0; i < corners.size(); ++i) {
      expected.push_back("polVertex " + id(host::polygon_id(polygon)) + " " + std::to_string(i));
      // A point that ends no edge has no record, and no edges to measure.
      const PointRecord *record = database->points.find(host::point_id(corners[i]));
      for (std::int32_t j = 0; record != nullptr && j < record->edge_count; ++j) {
        expected.push_back("pntBasePos " + id(record->edges[std::size_t(j)]->point_a));
        expected.push_back("pntBasePos " + id(record->edges[std::size_t(j)]->point_b));
      }
    }
    expected.push_back("destroy");

    // A spot a little off the polygon's centre.
    Vec3 spot;
    for (std::uint32_t c : corners) {
      const auto &q = object.mesh().points[c];
      spot = spot + (1.0 / double(corners.size())) * Vec3{q[0], q[1], q[2]};
    }
    spot.x += 0.01;
    host.calls.clear();
    EXPECT_GE(query(host.service(), object, polygon, spot).distance, 0.0);
    EXPECT_EQ(host.calls, expected);
  }
}

// Every cone of 100 random hub trees (edges in random spreads of directions)
// holds the far end of each edge under it, in long double, axis as stored.
TEST(EdgeForestCones, EveryConeOfARandomHubTreeHoldsItsOwnEdges) {
  int cones = 0;
  for (std::uint32_t seed = 1; seed <= 100; ++seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const float apex[3] = {float(99 * unit(random)), float(99 * unit(random)), 1.0f};
    const double spread = std::pow(10.0, -3.0 * std::abs(unit(random))), x = unit(random);
    Array<EdgeForest::Segment> segments;
    for (std::uint32_t i = 0, n = 65 + random() % 336; i < n; ++i) {
      const double length = 0.01 + 50.0 * (unit(random) + 1.0);
      const double d[3] = {x + spread * unit(random), 1.0 + spread * unit(random), 2.0};
      ASSERT_TRUE(
          segments.push_back({{apex[0], apex[1], apex[2]},
                              {float(apex[0] + length * d[0]), float(apex[1] + length * d[1]),
                               float(apex[2] + length * d[2])},
                              i,
                              i}));
    }
    EdgeForest forest;
    std::uint32_t root = EdgeForest::kNone;
    ASSERT_TRUE(forest.add_tree(segments, root, apex));
    auto check = [&](auto &self, const EdgeForest::Node &cone, std::uint32_t at) -> void {
      const EdgeForest::Node &node = forest.nodes()[at];
      for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
        long double ww = 0.0L, uu = 0.0L, wu = 0.0L;
        for (int k = 0; k < 3; ++k) {
          const long double w = (long double)forest.segments()[i].b[k] - apex[k],
                            u = cone.axis_b[k];
          ww += w * w, uu += u * u, wu += w * u;
        }
        ASSERT_TRUE(wu > 0.0L && std::sqrt(1.0L - wu * wu / (ww * uu)) <= cone.radius) << seed;
      }
      if (node.count == 0) {
        self(self, cone, at + 1);
        self(self, cone, node.first);
      }
    };
    for (const EdgeForest::Node &node : forest.nodes()) {
      cones += node.radius >= 0.0f ? 1 : 0;
      if (node.radius >= 0.0f) {
        check(check, node, std::uint32_t(&node - forest.nodes().begin()));
      }
    }
  }
  EXPECT_GT(cones, 1000);
}

// Spots past 2^129 are refused, those beside edges at the largest floats not.
TEST(EdgeForestCones, OnlySpotsFarBeyondEveryFloatPositionAreRefused) {
  const float top = std::numeric_limits<float>::max(), inf = INFINITY;
  Array<EdgeForest::Segment> segments;
  for (std::uint32_t i = 0; i < 64; ++i) {
    ASSERT_TRUE(segments.push_back({{top, float(i), 0.0f}, {top, float(i + 1), 0.0f}, i, i}));
  }
  EdgeForest forest;
  std::uint32_t root = EdgeForest::kNone;
  ASSERT_TRUE(forest.add_tree(segments, root));
  for (const double x : {double(top), 0x1p129 + 0x1p77, 2.4e167, 1e300}) {
    EdgeForest::Best best{1e20, inf, 0.0, 0, 0};
    EXPECT_TRUE(forest.search(root, {x, 10.5, 0.25}, inf, 0, best) == (x == top) &&
                best.distance == (x == top ? 0.25 : 1e20))
        << x;
  }
}

}  // namespace
}  // namespace korv::testing
