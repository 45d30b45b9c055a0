// With cross_polygons on, a sample finds the nearest edge of its own shell
// within the reach, however many polygons lie between: on boxes with support
// loops, a subdivided box and a shell floating just above another, every
// answer agrees bit for bit with the slow reference (the polygon's own
// corners, then every edge of the shell by brute force). With it off, the
// same samples show what the search across polygons adds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "edge_test_support.h"
#include "edges/edge_query.h"
#include "host/builtin_meshes.h"
#include "tests/e2e/generated_meshes.h"
#include "tests/reference/shading_reference.h"

namespace korv::testing {
namespace {

struct CrossCase {
  const char *name;
  host::Mesh (*mesh)();
  double edge_width;
  std::int32_t out_channel;  // a channel widens the reach to the mask's
  bool two_shells;           // a shell floats just above another
};

void PrintTo(const CrossCase &c, std::ostream *out) {
  *out << c.name << ", edge width " << c.edge_width << ", channel " << c.out_channel;
}

host::Mesh builtin_loops() {
  host::Mesh m;
  host::builtin_mesh("loops", m);
  return m;
}

// What the samples of one mesh showed.
struct Tally {
  int in_band = 0;      // samples within the band of an edge of their shell
  int missed = 0;       // of those, samples whose distance is not that edge's
  int other_shell = 0;  // samples nearer to an edge of another shell
};

class CrossPolygons : public ::testing::TestWithParam<CrossCase> {
 protected:
  // Samples spread inside every polygon, each queried and compared with the
  // reference.
  void run(std::int32_t cross_polygons, Tally &tally) {
    const CrossCase &c = GetParam();
    EdgeShaderInstance inst{};
    set_default_settings(inst);
    inst.edge_width = c.edge_width;
    inst.out_channel = c.out_channel;
    inst.out_width = c.edge_width / 4.0;
    inst.cross_polygons = cross_polygons;
    inst.cache = create_edge_cache();
    host::SceneObject object(c.mesh());
    const host::Mesh &m = object.mesh();
    const EdgeSnapshot db = reference_snapshot(object, {});
    const EdgeSnapshot one_shell = merged(db);
    EdgeShaderInstance everywhere = inst;  // no shells: every edge of the mesh
    everywhere.cross_polygons = 1;
    std::mt19937 random(5);
    std::uniform_real_distribution<double> weight(0.0, 1.0);
    LWMeshInfo *mesh = host::object_info_service()->meshInfo(object.id(), 1);
    for (std::size_t p = 0; p < m.polygon_count(); ++p) {
      for (std::size_t s = 0; s < 3 + 300 / m.polygon_count(); ++s) {
        LWShaderAccess access{};
        access.objID = object.id();
        access.polygon = host::polygon_id(p);
        Vec3 spot;
        double total = 0.0;
        for (std::uint32_t corner : m.polygon(p)) {
          // Skewed towards small weights, so that spots reach the sides.
          const double w = std::pow(weight(random), 4.0);
          spot = spot + w * to_vec3(m.points[corner].data());
          total += w;
        }
        store((1.0 / total) * spot, access.oPos);

        ReferenceHit got;
        got.distance =
            find_nearest_edge(host::object_info_service(), &access, &inst, got.normal, got.is_open);
        inst.cross_polygons = 1;
        const ReferenceHit shell = reference_nearest_edge(db, mesh, access, inst);
        inst.cross_polygons = cross_polygons;
        if (cross_polygons != 0) {
          ASSERT_TRUE(same_double(got.distance, shell.distance) &&
                      std::memcmp(&got.normal, &shell.normal, sizeof(Vec3)) == 0 &&
                      got.is_open == shell.is_open)
              << "polygon " << p << ": the query gave " << got.distance << ", the reference "
              << shell.distance;
        }
        if (shell.distance >= 0.0 && shell.distance <= 0.5 * c.edge_width) {
          tally.in_band += 1;
          tally.missed += got.distance != shell.distance ? 1 : 0;
        }
        if (c.two_shells) {
          // The same search over a database whose every point is one shell.
          const ReferenceHit any = reference_nearest_edge(one_shell, mesh, access, everywhere);
          const bool nearer = shell.distance < 0.0 || any.distance < shell.distance;
          tally.other_shell += any.distance >= 0.0 && nearer ? 1 : 0;
        }
      }
    }
    mesh->destroy(mesh);
    destroy_edge_cache(inst.cache);
  }

  // The snapshot with every point listing one more polygon, shared by all:
  // one shell.
  static EdgeSnapshot merged(EdgeSnapshot db) {
    for (EdgeSnapshot::Point &p : db.points) {
      p.polygons.push_back(0);
    }
    return db;
  }
};

TEST_P(CrossPolygons, EverySampleWithinTheBandGetsTheNearestEdgeOfItsShell) {
  Tally on, off;
  ASSERT_NO_FATAL_FAILURE(run(1, on));
  EXPECT_GT(on.in_band, 0);
  EXPECT_EQ(on.missed, 0);
  // Without the search across polygons the loops cut the band short.
  run(0, off);
  EXPECT_EQ(off.in_band, on.in_band);
  EXPECT_GT(off.missed, 0);
  // Where another shell's edge lies nearer, it is never taken: the
  // reference looks only at the sample's own shell.
  if (GetParam().two_shells) {
    EXPECT_GT(on.other_shell, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Meshes, CrossPolygons,
    ::testing::Values(
        CrossCase{"loops at 4 cm", [] { return looped_box({0.04}); }, 0.3, 0, false},
        CrossCase{"loops at three distances",
                  [] {
                    return looped_box({0.01, 0.03, 0.07});
                  },
                  0.2, 2, false},
        CrossCase{"9 x 9 subdivided box", [] { return subdivided_box(9); }, 0.5, 0, false},
        CrossCase{"box and floating bolt", [] { return looped_box({0.04}, true); }, 0.6, 1, true},
        CrossCase{"builtin loops", builtin_loops, 0.1, 1, true}));

}  // namespace
}  // namespace korv::testing
