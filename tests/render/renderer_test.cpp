// The renderer's own duties: the shading record it fills, threads that give
// the same picture, and objects without polygons.
#include "render_fixture.h"

namespace korv::testing {
namespace {

using host::render::V3;

TEST(RendererRecord, IsFilledAsAHostFillsIt) {
  host::SceneObject cube(builtin("cube"));
  host::render::Placement placement;
  placement.rotation = host::render::Mat3::rotation({0, 1, 0}, 3.14159265358979323846 / 2);
  placement.translation = {10, 0, 0};
  host::render::RayScene scene(cube, placement, 0.0);
  // Turned a quarter about +y, the cube's +z face looks along world +x.
  const V3 eye{20, 0.25, -0.5};
  host::render::SurfaceHit hit;
  ASSERT_TRUE(scene.intersect(eye, {-1, 0, 0}, hit));
  host::render::Surface surface;
  surface.mirror = 0.125;
  LWShaderAccess a{};
  host::render::fill_record(scene, hit, eye, surface, a, {7, 9, 0.001});

  EXPECT_EQ(a.objID, cube.id());
  EXPECT_EQ(a.polygon, host::polygon_id(1));  // the +z face
  EXPECT_NEAR(a.oPos[0], 0.5, 1e-6);
  EXPECT_NEAR(a.oPos[1], 0.25, 1e-6);
  EXPECT_NEAR(a.oPos[2], 1.0, 1e-6);
  EXPECT_NEAR(a.wPos[0], 11.0, 1e-6);
  EXPECT_NEAR(a.wPos[1], 0.25, 1e-6);
  EXPECT_NEAR(a.wPos[2], -0.5, 1e-6);
  EXPECT_EQ(a.raySource[0], 20.0);
  EXPECT_EQ(a.raySource[2], -0.5);
  for (const double *n : {a.wNorm0, a.wNorm}) {
    EXPECT_NEAR(n[0], 1.0, 1e-12);
    EXPECT_NEAR(n[1], 0.0, 1e-12);
    EXPECT_NEAR(n[2], 0.0, 1e-12);
  }
  // oXfrm takes the object into the world, wXfrm the world into the object.
  const host::render::Mat3 back = placement.rotation.transposed();
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(a.oXfrm[i], placement.rotation.m[std::size_t(i)]) << i;
    EXPECT_EQ(a.wXfrm[i], back.m[std::size_t(i)]) << i;
  }
  EXPECT_EQ(a.mirror, 0.125);
  EXPECT_EQ(a.diffuse, surface.diffuse);
  EXPECT_EQ(a.color[0], surface.colour.x);
  EXPECT_EQ(a.sx, 7);
  EXPECT_EQ(a.sy, 9);
  EXPECT_EQ(a.polNum, 1);
  EXPECT_NEAR(a.gNorm[0], 1.0, 1e-12);  // the +z face, turned
  EXPECT_NEAR(a.rayLength, 9.0, 1e-6);
  EXPECT_NEAR(a.spotSize, 0.009, 1e-9);
  EXPECT_NEAR(a.cosine, 1.0, 1e-12);  // the ray meets the face head-on
  // The hit triangle: three corners of the +z face whose weights sum to 1,
  // at the hit when weighed.
  double weight_sum = 0.0;
  double weighed_y = 0.0;
  for (int k = 0; k < 3; ++k) {
    EXPECT_NE(a.verts[k], nullptr);
    weight_sum += a.weights[k];
    weighed_y += a.weights[k] * a.vertsWPos[k][1];
    EXPECT_NEAR(a.vertsWPos[k][0], 11.0, 1e-6);  // the face lies at world x = 11
  }
  EXPECT_EQ(a.verts[3], nullptr);
  EXPECT_NEAR(weight_sum, 1.0, 1e-6);
  EXPECT_NEAR(weighed_y, 0.25, 1e-6);
  EXPECT_EQ(a.rayTrace, nullptr);  // the shader does not ask for ray tracing
  // The hit lies in an odd cube of 0.25 m, which holds the checker's value.
  surface.checker = {6, 0.25, 0.3};
  host::render::fill_record(scene, hit, eye, surface, a);
  EXPECT_EQ(a.translucency, 0.3);
}

TEST(RendererRecord, FanTrianglesOfOnePolygonReportThatPolygon) {
  // A hexagon: four fan triangles, one polygon.
  host::Mesh m;
  for (int i = 0; i < 6; ++i) {
    const double a = i * 3.14159265358979323846 / 3;
    m.add_point(std::cos(a), std::sin(a), 0);
  }
  m.add_point(5, 5, 5);  // a point no polygon uses
  m.add_polygon({0, 1, 2, 3, 4, 5});
  host::SceneObject object(std::move(m));
  host::render::RayScene scene(object, {}, 0.0);
  EXPECT_EQ(scene.triangle_count(), 4u);
  for (double x : {-0.6, -0.2, 0.2, 0.6}) {
    for (double y : {-0.5, 0.0, 0.5}) {
      host::render::SurfaceHit hit;
      ASSERT_TRUE(scene.intersect({x, y, 3}, {0, 0, -1}, hit)) << x << ", " << y;
      EXPECT_EQ(hit.polygon, 0u);
    }
  }
}

TEST(RendererRecord, SmoothingAveragesOnlyNormalsWithinTheAngle) {
  host::SceneObject object(builtin("machined"));
  const double degrees = 3.14159265358979323846 / 180.0;
  host::render::RayScene smooth(object, {}, 30.0 * degrees);
  host::render::RayScene flat(object, {}, 0.0);
  // Down onto the boss's top cap and onto its side near a seam of two
  // side quads: the cap stays flat, the side turns smoothly.
  host::render::SurfaceHit hit;
  ASSERT_TRUE(smooth.intersect({-0.1, 3, 0.05}, {0, -1, 0}, hit));
  EXPECT_NEAR(hit.normal.y, 1.0, 1e-12);
  ASSERT_TRUE(smooth.intersect({3, 1.2, 0.0}, {-1, 0, 0}, hit));
  EXPECT_NEAR(hit.normal.x, 1.0, 1e-3);  // between two side quads: radial
  ASSERT_TRUE(flat.intersect({3, 1.2, 0.0}, {-1, 0, 0}, hit));
  EXPECT_LT(hit.normal.x, 0.995);  // a facet's own normal
}

class RendererThreads : public RenderTest {};

TEST_F(RendererThreads, SeveralThreadsGiveThePictureOfOne) {
  set({"edge_width=0.1", "out_channel=1", "smooth_edge=1"});
  host::SceneObject object(builtin("boxes"));
  host::render::RayScene scene(object, {}, 0.0);
  RenderOptions options;
  options.width = 120;
  options.height = 90;
  host::render::RenderStats one_stats;
  host::render::RenderStats many_stats;
  options.threads = 1;
  const Image one = render(scene, options, Pass::Shaded, &one_stats);
  options.threads = 4;
  const Image many = render(scene, options, Pass::Shaded, &many_stats);
  EXPECT_EQ(one.rgb, many.rgb);
  EXPECT_EQ(one_stats.threads, 1);
  EXPECT_EQ(many_stats.threads, 4);
  EXPECT_EQ(one_stats.samples, many_stats.samples);
  EXPECT_GT(one_stats.samples, 5000);
  EXPECT_EQ(one_stats.rays, 120LL * 90 * 4);
}

TEST_F(RendererThreads, ABuildOnFirstUseIsSharedByThreadsThatArriveTogether) {
  // Every thread's first sample asks for the same object's edges at once;
  // the build happens once under the module's lock.
  set({"edge_width=0.1"});
  host::SceneObject object(builtin("machined"));
  host::render::RayScene scene(object, {}, 0.0);
  RenderOptions options;
  options.width = options.height = 64;
  options.threads = 8;
  host::reset_mesh_service_counts();
  render(scene, options, Pass::Shaded);
  const host::MeshServiceCounts counts = host::mesh_service_counts();
  EXPECT_EQ(counts.mesh_info, counts.destroy);  // every handle released
  EXPECT_EQ(counts.scans, 4);                   // one build of four scans
}

TEST_F(RendererThreads, EveryRenderStartsAndEndsWithAnEmptyEdgeCache) {
  // init and cleanup empty the instance's cache, so each render builds the
  // object's edges afresh (four scans), and the plain pass builds nothing.
  set({"edge_width=0.1"});
  host::SceneObject object(builtin("cube"));
  host::render::RayScene scene(object, {}, 0.0);
  RenderOptions options;
  options.width = options.height = 32;
  host::reset_mesh_service_counts();
  render(scene, options, Pass::Shaded);
  EXPECT_EQ(host::mesh_service_counts().scans, 4);
  render(scene, options, Pass::Plain);
  EXPECT_EQ(host::mesh_service_counts().scans, 4);
  render(scene, options, Pass::Mask);
  EXPECT_EQ(host::mesh_service_counts().scans, 8);
}

class RendererEmptyObjects : public RenderTest,
                             public ::testing::WithParamInterface<const char *> {};

TEST_P(RendererEmptyObjects, RenderTheBackgroundWithoutTheShadersEffect) {
  host::Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_point(0, 1, 0);
  const std::string kind = GetParam();
  if (kind == "points") {
    m.add_polygon({0});
    m.add_polygon({1});
  } else if (kind == "lines") {
    m.add_polygon({0, 1});
    m.add_polygon({1, 2});
  }
  set({"out_channel=1", "edge_width=1"});
  host::SceneObject object(std::move(m));
  host::render::RayScene scene(object, {}, 0.0);
  RenderOptions options;
  options.width = 40;
  options.height = 30;
  host::render::RenderStats stats;
  const Image shaded = render(scene, options, Pass::Shaded, &stats);
  EXPECT_EQ(stats.samples, 0);
  EXPECT_EQ(shaded.rgb, render(scene, options, Pass::Plain).rgb);
  // Pixel rows average two rows of rays: the top row's at heights 0.25 and
  // 0.75 of a pixel.
  const V3 top = host::render::to_display(
      0.5 * (host::render::background(0.25 / 30) + host::render::background(0.75 / 30)));
  EXPECT_NEAR(shaded.pixel(7, 0)[0], top.x, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RendererEmptyObjects,
                         ::testing::Values("nopolygons", "points", "lines"));

}  // namespace
}  // namespace korv::testing
