// Renders with a known answer: on a turned cube, the shader changes exactly
// the pixels whose sample lies within the band around a sharp edge, and the
// mask pass shows exp(-d / out_width) of each sample's distance d.
#include "render_fixture.h"

namespace korv::testing {
namespace {

constexpr int kSize = 128;

// The distance from a point on the 2 x 2 x 2 cube's surface to the nearest
// cube edge: along the face it lies on, to the nearer side.
double distance_to_cube_edge(const host::render::V3 &p) {
  const double a[3] = {std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)};
  const int face = int(std::max_element(a, a + 3) - a);
  double d = 1e300;
  for (int i = 0; i < 3; ++i) {
    if (i != face) {
      d = std::min(d, 1.0 - a[i]);
    }
  }
  return d;
}

class RenderBand : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    placement_.rotation = host::render::Mat3::rotation({1, 2, 3}, 0.7);
    placement_.translation = {0.5, -0.25, 2.0};
    options_.width = options_.height = kSize;
    options_.subsamples = 1;  // one sample per pixel, through its centre
    options_.threads = 2;
  }

  // The object position met through the centre of pixel (x, y), if any.
  bool sample_at(const host::render::RayScene &scene, int x, int y, host::render::V3 &pos) const {
    const host::render::Camera camera = host::render::render_camera(scene, options_);
    host::render::SurfaceHit hit;
    const bool met = scene.intersect(
        camera.eye, camera.ray_direction((x + 0.5) / options_.width, (y + 0.5) / options_.height),
        hit);
    pos = hit.object_pos;
    return met;
  }

  host::render::Placement placement_;
  RenderOptions options_;
};

TEST_F(RenderBand, TheShaderChangesOnlyPixelsWithinTheBandAroundSharpEdges) {
  constexpr double kHalfWidth = 0.15;
  set({"edge_width=0.3", "round_edge=0"});
  host::SceneObject cube(builtin("cube"));
  host::render::RayScene scene(cube, placement_, 0.0);
  const Image plain = render(scene, options_, Pass::Plain);
  const Image shaded = render(scene, options_, Pass::Shaded);

  long inner = 0;
  long inner_changed = 0;
  long outside = 0;
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      host::render::V3 pos;
      const bool changed = pixel_differs(plain, shaded, x, y);
      if (!sample_at(scene, x, y, pos)) {
        EXPECT_FALSE(changed) << "background pixel " << x << ", " << y;
        continue;
      }
      const double d = distance_to_cube_edge(pos);
      if (d > kHalfWidth * (1.0 + 1e-6)) {
        ++outside;
        EXPECT_FALSE(changed) << "pixel " << x << ", " << y << " at " << d << " from an edge";
      } else if (d < 0.9 * kHalfWidth) {
        ++inner;
        inner_changed += changed ? 1 : 0;
      }
    }
  }
  EXPECT_GT(outside, 2000);
  EXPECT_GT(inner, 500);
  // A bevelled normal nearly always lights differently; allow a few pixels
  // where both lightings round to the same bytes.
  EXPECT_GT(inner_changed, long(0.97 * double(inner)));
}

TEST_F(RenderBand, TheMaskPassShowsExpOfMinusDistanceOverWidth) {
  constexpr double kOutWidth = 0.25;
  set({"edge_width=0.3", "out_channel=3", "out_width=0.25"});
  host::SceneObject cube(builtin("cube"));
  host::render::RayScene scene(cube, placement_, 0.0);
  options_.mask_channel = 3;
  const Image mask = render(scene, options_, Pass::Mask);
  long checked = 0;
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      host::render::V3 pos;
      if (!sample_at(scene, x, y, pos)) {
        continue;
      }
      const double expected = std::exp(-distance_to_cube_edge(pos) / kOutWidth);
      ASSERT_NEAR(mask.pixel(x, y)[0], expected, 1e-5) << "pixel " << x << ", " << y;
      ++checked;
    }
  }
  EXPECT_GT(checked, 3000);
}

TEST_F(RenderBand, TurningObjectAndCameraTogetherKeepsThePicture) {
  // The lights and environment ride with the camera, so only a wrong
  // transform of the edge normal (wXfrm) could change the shaded picture.
  set({"edge_width=0.3"});
  host::SceneObject cube(builtin("cube"));
  host::render::RayScene upright(cube, {}, 0.0);
  host::render::Placement turned_placement;
  turned_placement.rotation = placement_.rotation;
  host::render::RayScene turned(cube, turned_placement, 0.0);

  RenderOptions a = options_;
  a.camera = host::render::render_camera(upright, a);
  RenderOptions b = options_;
  b.camera = a.camera->rotated(turned_placement.rotation);

  const Image before = render(upright, a, Pass::Shaded);
  const Image after = render(turned, b, Pass::Shaded);
  const Difference same = compare(before, after);
  EXPECT_LT(same.pixels, kSize * kSize / 200) << "largest difference " << same.largest;

  // Deformed scanning reads the host's world positions: an undeformed turned
  // object shades as without it but for rounding, and not in object ones.
  set({"use_deform=1"});
  const Difference deformed = compare(after, render(turned, b, Pass::Shaded));
  EXPECT_LE(deformed.largest, 1) << deformed.pixels << " pixels differ";
  cube.place({});
  const Difference wrong = compare(after, render(turned, b, Pass::Shaded));
  EXPECT_GT(wrong.pixels, 10 * std::max(deformed.pixels, 50L));
}

}  // namespace
}  // namespace korv::testing
