// With cross_polygons on, a sample finds the nearest edge of its own shell
// within the reach, however many polygons lie between. On boxes with support
// loops, a subdivided box and shells floating within reach of another (a bolt
// above a box, the builtin's boss), the shared grid of samples near each
// polygon's corners and sides gets the slow reference's answer bit for bit: the polygon's own
// corners' edges, then every edge of its shell by brute force, so a sample that took another
// shell's edge would differ. Those within the band of an edge of their shell
// are counted, and those that the search without crossing polygons misses.
// The search without crossing polygons is compared too, and on meshes that
// once made a sample's cost grow with the mesh (a polygon visiting its hub
// again and again, long diagonal edges, a far shell, a large cap, a star of
// sharp edges) the samples include every corner, where many edges tie.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>
#include <utility>

#include "edge_test_support.h"
#include "host/builtin_meshes.h"
#include "shader/core_input.h"
#include "tests/e2e/generated_meshes.h"
#include "tests/e2e/sample_grid.h"
#include "tests/reference/shading_reference.h"

namespace korv::testing {
namespace {

struct CrossCase {
  const char *name;
  host::Mesh (*mesh)();
  double edge_width;
  std::int32_t out_channel;  // a channel widens the reach to the mask's
  bool loops = true;         // support loops: the band crosses polygons
  double edge_dangle = 0.0;  // 0: the default detection angle
  std::int32_t smooth_edge = 1;
  std::int32_t corner_blend = 1;  // the bands beside the nearest are compared too
};

// The bands a blended corner takes, bit for bit.
bool same_bands(const EdgeQuery &q, const ReferenceHit &r) {
  bool same = std::size_t(q.band_count) == r.bands.size() &&
              (r.bands.size() < 2 || q.band[0].end_on == r.end_on);
  for (std::size_t k = 0; same && k < r.bands.size(); ++k) {
    const BandEdge &b = q.band[k];
    same = same_double(b.distance, r.bands[k].distance) && b.is_open == r.bands[k].is_open &&
           std::memcmp(&b.normal, &r.bands[k].normal, sizeof(Vec3)) == 0 &&
           point_key(b.ends[0]) == r.bands[k].ends[0] &&
           point_key(b.ends[1]) == r.bands[k].ends[1] &&
           std::memcmp(b.corner_normals, r.bands[k].corners, sizeof b.corner_normals) == 0;
  }
  return same;
}

void PrintTo(const CrossCase &c, std::ostream *out) {
  *out << c.name;
}

class CrossPolygons : public ::testing::TestWithParam<CrossCase> {};

TEST_P(CrossPolygons, EverySampleWithinTheBandGetsTheNearestEdgeOfItsShell) {
  const CrossCase &c = GetParam();
  EdgeInstance on{};
  set_default_settings(on);
  on.edge_width = c.edge_width;
  on.out_channel = c.out_channel;
  on.out_width = c.edge_width / 4.0;
  on.cross_polygons = 1;
  on.edge_dangle = c.edge_dangle > 0.0 ? c.edge_dangle : on.edge_dangle;
  on.smooth_edge = c.smooth_edge;
  on.corner_blend = c.corner_blend;
  EdgeInstance off = on;
  off.cross_polygons = 0;
  on.cache = create_edge_cache();
  off.cache = create_edge_cache();
  host::SceneObject object(c.mesh());
  const EdgeSnapshot db = reference_snapshot(object, {std::cos(on.edge_dangle)});
  LWObjectInfo *info = host::object_info_service();
  LWMeshInfo *mesh = info->meshInfo(object.id(), 1);
  int in_band = 0, missed = 0;
  std::vector<LWShaderAccess> samples = samples_over_mesh(object, 250);
  for (std::size_t i = 0, n = samples.size(); i < n && !c.loops; ++i) {
    if (i > 0 && samples[i].polygon == samples[i - 1].polygon) {
      continue;  // each polygon's corners once
    }
    for (std::uint32_t point : object.mesh().polygon(host::polygon_index(samples[i].polygon))) {
      samples.push_back(samples[i]);
      std::copy(object.mesh().points[point].begin(), object.mesh().points[point].end(),
                samples.back().oPos);
    }
  }
  // A coordinate that is not a number, in y or z, finds nothing.
  samples.push_back(samples[0]);
  samples.back().oPos[1] = std::numeric_limits<double>::quiet_NaN();
  samples.push_back(samples[0]);
  samples.back().oPos[2] = std::numeric_limits<double>::quiet_NaN();
  for (const LWShaderAccess &access : samples) {
    EdgeQuery found, found_without;
    const ReferenceHit got{find_nearest_edge(info, spot_of(access), edge_source(on), found),
                           found.normal, found.is_open};
    const ReferenceHit without{
        find_nearest_edge(info, spot_of(access), edge_source(off), found_without),
        found_without.normal, found_without.is_open};
    const ReferenceHit want = reference_nearest_edge(db, mesh, access, on);
    for (const auto &[hit, settings, query] :
         {std::tuple{got, &on, &found}, std::tuple{without, &off, &found_without}}) {
      const ReferenceHit wanted =
          settings == &on ? want : reference_nearest_edge(db, mesh, access, *settings);
      ASSERT_TRUE(same_double(hit.distance, wanted.distance) && hit.is_open == wanted.is_open &&
                  std::memcmp(&hit.normal, &wanted.normal, sizeof(Vec3)) == 0 &&
                  (hit.distance < 0.0 || same_bands(*query, wanted)))
          << "polygon " << host::polygon_index(access.polygon) << " across "
          << settings->cross_polygons << ": the query gave " << hit.distance << ", the reference "
          << wanted.distance;
    }
    if (want.distance >= 0.0 && want.distance <= 0.5 * c.edge_width) {
      in_band += 1;
      missed += without.distance != want.distance ? 1 : 0;
    }
  }
  mesh->destroy(mesh);
  destroy_edge_cache(on.cache);
  destroy_edge_cache(off.cache);
  EXPECT_GT(in_band, 0);
  EXPECT_TRUE(missed > 0 || !c.loops)
      << "without crossing polygons, the band stops at the first row";
}

host::Mesh three_loops() {
  return looped_box({0.01, 0.03, 0.07});
}
host::Mesh subdivided() {  // 9 x 9 quads a face
  return looped_box({2 / 9.0, 4 / 9.0, 6 / 9.0, 8 / 9.0}, {-1, -1, -1}, {1, 1, 1});
}
host::Mesh builtin_loops() {
  host::Mesh m;
  host::builtin_mesh("loops", m);
  return m;
}

host::Mesh fan_polygon80() {
  return fan_polygon(80);
}
host::Mesh turned_sheet() {
  return corrugated_sheet(64, true);
}
host::Mesh sheet_and_far_shell() {
  host::Mesh m = corrugated_sheet(16, false);
  add_far_shell(m);
  return m;
}
host::Mesh large_cap() {
  return arch_prism(128, true);
}
host::Mesh star() {
  return folded_star(100);
}

INSTANTIATE_TEST_SUITE_P(
    Meshes, CrossPolygons,
    ::testing::Values(CrossCase{"loops at three distances", three_loops, 0.2, 2},
                      CrossCase{"9 x 9 subdivided box", subdivided, 0.5, 0},
                      CrossCase{"box and floating bolt", box_and_bolt, 0.6, 1},
                      CrossCase{"builtin loops", builtin_loops, 0.1, 1, true, 0.0, 1, 0},
                      CrossCase{"fan polygon", fan_polygon80, 0.5, 0, false},
                      CrossCase{"turned sheet", turned_sheet, 0.2, 1, false},
                      CrossCase{"far shell", sheet_and_far_shell, 0.2, 0, false},
                      CrossCase{"large cap", large_cap, 0.5, 0, false},
                      CrossCase{"star", star, 0.5, 2, false},
                      CrossCase{"star of 200, flat folds sharp", [] { return folded_star(199); },
                                1.0, 2, false, 0.05, 0}));

}  // namespace
}  // namespace korv::testing
