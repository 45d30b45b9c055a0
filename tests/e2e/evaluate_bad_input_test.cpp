// Samples the shader cannot treat, degenerate normals and meshes, and
// non-finite records: nothing crashes, an untreated sample stays exactly as
// received, and whatever is written is a number.
#include <limits>
#include <random>

#include "evaluate_fixture.h"
#include "host/host_globals.h"
#include "instance/edge_instance.h"

namespace korv::testing {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class EvaluateDegenerate : public EvaluateTest, public PerFront {
 protected:
  void SetUp() override {
    EvaluateTest::SetUp();
    set({"edge_width=0.5", "smooth_edge=0", "round_edge=0", "out_channel=1"});
  }
};

TEST_P(EvaluateDegenerate, AZeroWNorm0StaysZeroBeyondTheBand) {
  LWShaderAccess in = cube_top(0.5);
  store(Vec3{0, 0, 0}, in.wNorm0);
  store(Vec3{0, 0, 5}, in.wNorm);
  const LWShaderAccess out = evaluated(in);
  EXPECT_VEC_EQ(out.wNorm0, (Vec3{0, 0, 0}));
  EXPECT_VEC_EQ(out.wNorm, (Vec3{0, 0, 1}));
}

TEST_P(EvaluateDegenerate, AZeroWNorm0InsideTheBandTakesTheEdgeNormal) {
  LWShaderAccess in = cube_top(1.0);
  store(Vec3{0, 0, 0}, in.wNorm0);
  const LWShaderAccess out = evaluated(in);
  // D = u1: the incoming shading normal rides on the edge normal.
  EXPECT_VEC_NEAR(out.wNorm0, cube_edge_normal(), 1e-15);
  EXPECT_VEC_NEAR(out.wNorm, unit_vector(cube_edge_normal() + Vec3{0, 0, 1}), 1e-15);
}

TEST_P(EvaluateDegenerate, AZeroEdgeNormalLeavesBothNormalsAsReceived) {
  // The fin: back-to-back quads on shared points, whose edge normals sum to 0.
  const host::SceneObject &fin = add_object(meshes::fin());
  LWShaderAccess in = sample(fin, 0, {1.0, 0.0, 0.0}, {0, 0, 1}, {1.0, 0.0, 10.0});
  LWShaderAccess out = evaluated(in);
  EXPECT_EQ(out.luminous, 1.0);  // an edge was found, at d = 0
  EXPECT_VEC_EQ(out.wNorm0, v3(in.wNorm0));
  EXPECT_VEC_EQ(out.wNorm, v3(in.wNorm));
  store(Vec3{0.6, 0.0, 0.8}, in.wNorm);
  out = evaluated(in);
  EXPECT_VEC_EQ(out.wNorm0, v3(in.wNorm0));
  EXPECT_VEC_EQ(out.wNorm, v3(in.wNorm));
}

TEST_P(EvaluateDegenerate, AZeroTransformLeavesBothNormalsAsReceived) {
  LWShaderAccess in = cube_top(1.0);
  std::fill(std::begin(in.wXfrm), std::end(in.wXfrm), 0.0);
  const LWShaderAccess out = evaluated(in);
  EXPECT_VEC_EQ(out.wNorm0, v3(in.wNorm0));
  EXPECT_VEC_EQ(out.wNorm, v3(in.wNorm));
}

TEST_P(EvaluateDegenerate, AFootPointOffEveryEdgeFindsNoEdge) {
  // Beyond the cube's corner, outside the span of every edge that ends at a
  // corner of the +z face (its four sides and the four upright edges).
  LWShaderAccess in = cube_top(3.0);
  in.oPos[1] = in.wPos[1] = 3.0;
  in.oPos[2] = in.wPos[2] = 3.0;
  EXPECT_TRUE(same_bits(evaluated(in), in));
}

TEST_P(EvaluateDegenerate, PolygonsOfFewerThanThreeCornersAreLeftAlone) {
  for (host::Mesh mesh : {meshes::points_only(), meshes::lines_only()}) {
    const host::SceneObject &object = add_object(std::move(mesh));
    for (std::size_t p = 0; p < 2; ++p) {
      const LWShaderAccess in = sample(object, p, {0.5, 0.0, 0.0}, {0, 0, 1}, {0, 0, 10});
      EXPECT_TRUE(same_bits(evaluated(in), in));
    }
  }
}

TEST_P(EvaluateDegenerate, AnObjectWithoutPolygonsOrAnUnknownPolygonIsLeftAlone) {
  host::Mesh empty;
  empty.add_point(0, 0, 0);
  const host::SceneObject &object = add_object(std::move(empty));
  const LWShaderAccess in = sample(object, 0, {0, 0, 0}, {0, 0, 1}, {0, 0, 10});
  EXPECT_TRUE(same_bits(evaluated(in), in));
  LWShaderAccess unknown = cube_top(1.0);
  unknown.polygon = host::polygon_id(6);  // the cube has six: 0 to 5
  EXPECT_TRUE(same_bits(evaluated(unknown), unknown));
}

TEST_P(EvaluateDegenerate, AnUnknownObjectIsLeftAlone) {
  LWShaderAccess in = cube_top(1.0);
  int not_an_object = 0;
  in.objID = reinterpret_cast<LWItemID>(&not_an_object);
  EXPECT_TRUE(same_bits(evaluated(in), in));
}

// Every double of the record, to be replaced by a non-finite value.
std::vector<double *> doubles_of(LWShaderAccess &a) {
  std::vector<double *> fields;
  for (double *array : {a.oPos, a.wPos, a.raySource, a.wNorm0, a.wNorm}) {
    for (int i = 0; i < 3; ++i) {
      fields.push_back(array + i);
    }
  }
  for (int i = 0; i < 9; ++i) {
    fields.push_back(a.wXfrm + i);
  }
  for (double *c : {&a.luminous, &a.diffuse, &a.specular, &a.mirror, &a.transparency,
                    &a.translucency, &a.bumpHeight}) {
    fields.push_back(c);
  }
  return fields;
}

// Every double is either as received, bit for bit, or a number.
void expect_untouched_or_finite(const LWShaderAccess &in, const LWShaderAccess &out,
                                const std::string &what) {
  LWShaderAccess a = in;
  LWShaderAccess b = out;
  const auto before = doubles_of(a);
  const auto after = doubles_of(b);
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (std::memcmp(before[i], after[i], sizeof(double)) != 0) {
      EXPECT_TRUE(std::isfinite(*after[i])) << what << ": double " << i << " became " << *after[i];
    }
  }
  EXPECT_EQ(in.objID, out.objID);
  EXPECT_EQ(in.polygon, out.polygon);
}

TEST_P(EvaluateDegenerate, ANonFiniteValueAnywhereNeverCrashesNorWritesNaN) {
  for (const char *mode : {"open_edge=0", "open_edge=1"}) {
    session_->init();  // the next query builds with this open_edge
    set({mode});
    for (double bad : {kNaN, kInf, -kInf}) {
      for (double x : {1.0, 0.9, 0.5}) {
        const LWShaderAccess base = cube_top(x);
        LWShaderAccess probe = base;
        const std::size_t count = doubles_of(probe).size();
        ASSERT_EQ(count, 31u);
        for (std::size_t k = 0; k < count; ++k) {
          LWShaderAccess in = base;
          *doubles_of(in)[k] = bad;
          const LWShaderAccess out = evaluated(in);
          expect_untouched_or_finite(
              in, out,
              std::string(mode) + " x=" + std::to_string(x) + " double " + std::to_string(k));
        }
      }
    }
  }
}

// Settings a damaged scene may hold (the panel refuses them), written as a
// load would: no evaluation writes a value that is not finite.
TEST_F(EvaluateDegenerate, ANonFiniteSettingNeverWritesANonFiniteValue) {
  auto &inst = *static_cast<EdgeInstance *>(session_->instance());
  for (double *field : {&inst.edge_width, &inst.edge_dangle, &inst.smooth_cos, &inst.out_width}) {
    for (double bad : {kNaN, kInf, -kInf}) {
      set({"edge_width=0.5", "edge_dangle=1.5", "smooth_edge=1", "smooth_cos=0.8",
           "out_width=0.1"});
      *field = bad;
      session_->init();
      for (double x : {1.0, 0.875, 0.0}) {
        const LWShaderAccess in = cube_top(x);
        expect_untouched_or_finite(in, evaluated(in), std::to_string(bad));
      }
    }
  }
}

TEST_P(EvaluateDegenerate, RandomNonFiniteRecordsNeverWriteNaN) {
  set({"open_edge=1"});
  const host::SceneObject &quad = add_object(meshes::open_quad());
  std::mt19937 random(20261207);
  std::uniform_real_distribution<double> coordinate(-1.5, 1.5);
  std::uniform_int_distribution<int> pick(0, 30);
  const double specials[] = {kNaN, kInf, -kInf, 0.0, -0.0, 1e-300, 1e300};
  std::uniform_int_distribution<int> special(0, 6);
  int untouched = 0;
  for (int i = 0; i < 2000; ++i) {
    const bool on_cube = i % 2 == 0;
    LWShaderAccess in = on_cube ? cube_top(coordinate(random))
                                : sample(quad, 0, {coordinate(random), coordinate(random), 0.0},
                                         {0, 0, 1}, {coordinate(random), 0.5, 3.0});
    for (int n = pick(random) % 4; n >= 0; --n) {
      *doubles_of(in)[std::size_t(pick(random))] = specials[special(random)];
    }
    const LWShaderAccess out = evaluated(in);
    untouched += same_bits(in, out) ? 1 : 0;
    expect_untouched_or_finite(in, out, "random sample " + std::to_string(i));
  }
  // Both outcomes occur, so both halves of the property were checked.
  EXPECT_GT(untouched, 0);
  EXPECT_LT(untouched, 2000);
}

// Without the object-info service the module treats no sample.
class EvaluateWithoutObjectInfo : public ModuleTest {};

TEST_F(EvaluateWithoutObjectInfo, EverySampleIsLeftAlone) {
  host::set_global_service(LWOBJECTINFO_GLOBAL, nullptr);
  LWInstanceFuncs inst{};
  LWItemFuncs item{};
  LWRenderFuncs rend{};
  LWShaderHandler handler{&inst, &item, &rend, nullptr, nullptr};
  ASSERT_EQ(module_->activate(LWSHADER_HCLASS, LWSHADER_VERSION, &handler), AFUNC_OK);
  LWError error = nullptr;
  LWInstance instance = inst.create(inst.priv, nullptr, &error);
  ASSERT_NE(instance, nullptr);
  static_cast<EdgeInstance *>(instance)->out_channel = 1;

  host::SceneObject cube(meshes::cube());
  host::reset_mesh_service_counts();
  const LWShaderAccess in = sample(cube, 1, {1.0, 0.0, 1.0}, {0, 0, 1}, {1.0, 0.0, 10.0});
  LWShaderAccess out = in;
  handler.evaluate(instance, &out);
  EXPECT_TRUE(same_bits(in, out));
  EXPECT_EQ(host::mesh_service_counts().mesh_info, 0);
  inst.destroy(instance);
}

INSTANTIATE_PER_FRONT(EvaluateDegenerate);

}  // namespace
}  // namespace korv::testing
