// A small render of the machined shape, compared with the reference picture
// kept in the repository. Tolerance: every channel of at least 99.5% of the
// pixels within 3 steps of 255; the rest (silhouette pixels, where another
// instruction set may let one subsample ray slip past a corner) within 64.
// A failing render is saved beside the test output as machined_96.actual.png.
// KORV_UPDATE_REFERENCE=1 rewrites the reference instead.
#include "render_fixture.h"

namespace korv::testing {
namespace {

constexpr int kSize = 96;
constexpr int kClose = 3;
constexpr int kFar = 64;
constexpr double kFarShare = 0.005;

class RenderRegression : public RenderTest {};

TEST_F(RenderRegression, MachinedShapeMatchesTheReferencePicture) {
  // The picture pins each spot bent by its nearest edge alone; the blended
  // corners are checked against the slow reference instead.
  set({"edge_width=0.15", "out_channel=0", "corner_blend=0"});
  host::SceneObject object(builtin("machined"));
  const host::render::Placement placement;
  host::render::RayScene scene(object, placement, 30.0 * 3.14159265358979323846 / 180.0);
  RenderOptions options;
  options.width = options.height = kSize;
  options.threads = 2;
  options.subsamples = 2;
  const Image picture = render(scene, options, Pass::Shaded);

  const std::string reference_path = std::string(KORV_TEST_DATA) + "/machined_96.png";
  std::string error;
  if (std::getenv("KORV_UPDATE_REFERENCE") != nullptr) {
    ASSERT_TRUE(host::render::write_png(picture, reference_path, error)) << error;
    GTEST_SKIP() << "reference rewritten: " << reference_path;
  }
  Image reference;
  ASSERT_TRUE(host::render::read_png(reference_path, reference, error)) << error;
  ASSERT_EQ(reference.width, kSize);
  ASSERT_EQ(reference.height, kSize);

  long beyond_close = 0;
  int largest = 0;
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int d = std::abs(int(host::render::to_byte(picture.pixel(x, y)[c])) -
                               int(host::render::to_byte(reference.pixel(x, y)[c])));
        largest = std::max(largest, d);
        if (d > kClose) {
          ++beyond_close;
          break;
        }
      }
    }
  }
  const bool ok = largest <= kFar && beyond_close <= long(kFarShare * kSize * kSize);
  if (!ok) {
    const std::string actual = output_path("machined_96.actual.png");
    host::render::write_png(picture, actual, error);
    ADD_FAILURE() << beyond_close << " pixels differ by more than " << kClose
                  << ", the largest difference is " << largest << "; the render is saved as "
                  << actual;
  }
}

TEST_F(RenderRegression, TheShaderVisiblyChangesTheReferenceScene) {
  // Guards the reference itself: a picture in which the shader did nothing
  // would not show a bevel.
  set({"edge_width=0.15"});
  host::SceneObject object(builtin("machined"));
  host::render::RayScene scene(object, {}, 30.0 * 3.14159265358979323846 / 180.0);
  RenderOptions options;
  options.width = options.height = kSize;
  const Difference d =
      compare(render(scene, options, Pass::Plain), render(scene, options, Pass::Shaded));
  EXPECT_GT(d.pixels, 200);
  EXPECT_GT(d.largest, 40);
}

}  // namespace
}  // namespace korv::testing
