// The edge mask: which channel out_channel names, and its value.
#include <limits>

#include "evaluate_fixture.h"
#include "instance/edge_instance.h"

namespace korv::testing {
namespace {

struct ChannelCase {
  int out_channel;
  double LWShaderAccess::*field;  // null: no channel
  unsigned int flags;             // what the flags callback declares for it
  int out_mode = 0;               // 1 multiplies by the mask, 2 by 1 - mask, others replace
};

class EvaluateChannel : public EvaluateTest, public ::testing::WithParamInterface<ChannelCase> {};

TEST_P(EvaluateChannel, OnlyTheFieldTheFlagsDeclareReceivesTheMaskAndTheBevelStillApplies) {
  const ChannelCase c = GetParam();
  set({"edge_width=0.5", "smooth_edge=0", "round_edge=0", "out_width=0.25",
       "out_channel=" + std::to_string(c.out_channel), "out_mode=" + std::to_string(c.out_mode)});
  const LWShaderAccess in = cube_top(0.75);  // d = 0.25 = out_width
  const LWShaderAccess out = evaluated(in);
  LWShaderAccess expected = in;
  if (c.field != nullptr) {
    EXPECT_NE(in.*c.field, out.*c.field);
    const double mask = 0.36787944117144233;  // exp(-1)
    EXPECT_EQ(out.*c.field, c.out_mode == 1   ? in.*c.field * mask
                            : c.out_mode == 2 ? in.*c.field * (1.0 - mask)
                                              : mask);
    expected.*c.field = out.*c.field;
  }
  // Apart from the channel, only the normals changed.
  std::copy(std::begin(out.wNorm0), std::end(out.wNorm0), expected.wNorm0);
  std::copy(std::begin(out.wNorm), std::end(out.wNorm), expected.wNorm);
  EXPECT_TRUE(same_bits(out, expected));
  EXPECT_VEC_NEAR(out.wNorm, cube_edge_normal(), 1e-15);
  // The host is told of the normal and of exactly the channel written (the
  // bump input has no flag of its own).
  EXPECT_EQ(session_->flags(), c.flags);
}

INSTANTIATE_TEST_SUITE_P(
    EveryChoice, EvaluateChannel,
    ::testing::Values(ChannelCase{0, nullptr, 1}, ChannelCase{1, &LWShaderAccess::luminous, 5},
                      ChannelCase{2, &LWShaderAccess::diffuse, 9},
                      ChannelCase{3, &LWShaderAccess::specular, 17},
                      ChannelCase{4, &LWShaderAccess::mirror, 33},
                      ChannelCase{5, &LWShaderAccess::transparency, 65},
                      ChannelCase{6, &LWShaderAccess::translucency, 513},
                      ChannelCase{7, &LWShaderAccess::bumpHeight, 1}, ChannelCase{8, nullptr, 1},
                      ChannelCase{-1, nullptr, 1}, ChannelCase{1000, nullptr, 1},
                      ChannelCase{0, nullptr, 1, 2}, ChannelCase{2, &LWShaderAccess::diffuse, 9, 1},
                      ChannelCase{3, &LWShaderAccess::specular, 17, 2},
                      ChannelCase{7, &LWShaderAccess::bumpHeight, 1, 1},
                      ChannelCase{7, &LWShaderAccess::bumpHeight, 1, 2},
                      ChannelCase{5, &LWShaderAccess::transparency, 65, 3}),
    [](const ::testing::TestParamInfo<ChannelCase> &info) {
      const int v = info.param.out_channel;
      return (v < 0 ? "minus" + std::to_string(-v) : "channel" + std::to_string(v)) + "_mode" +
             std::to_string(info.param.out_mode);
    });

class EvaluateMask : public EvaluateTest, public PerFront {
 protected:
  void SetUp() override {
    EvaluateTest::SetUp();
    set({"edge_width=0.5", "out_channel=1"});
  }
};

TEST_P(EvaluateMask, IsOneOnTheEdge) {
  set({"out_width=0.25"});
  EXPECT_EQ(evaluated(cube_top(1.0)).luminous, 1.0);
}

TEST_P(EvaluateMask, FallsOffAsExpOfMinusDOverTheWidthIndependentlyOfTheBand) {
  set({"out_width=0.1"});
  // 0.5 from the edge, twice the band's half width: normals untouched, mask
  // written all the same.
  const double d = 1.0 - 0.5;
  EXPECT_EQ(evaluated(cube_top(0.5)).luminous, std::exp(-d / 0.1));
  set({"out_width=0.25"});
  EXPECT_EQ(evaluated(cube_top(0.75)).luminous, 0.36787944117144233);
}

TEST_P(EvaluateMask, ReplacesTheChannelWhateverItHeld) {
  set({"out_width=0.25"});
  LWShaderAccess in = cube_top(1.0);
  in.luminous = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(evaluated(in).luminous, 1.0);
  in.luminous = 1e300;
  EXPECT_EQ(evaluated(in).luminous, 1.0);
}

TEST_F(EvaluateMask, MultiplyingKeepsAHostValueWhoseProductIsNotFiniteAndZeroesWithoutAnEdge) {
  // Every factor here is 0: exp(-5000) away from the edge, 1 - 1 on it, and
  // the mask itself where no edge is (the cube has no inside edges), except
  // the inverse's 1 there. Infinity times 0 is no number.
  set({"out_width=0.0001", "disable_bevel=1"});
  for (int kind : {0, 2}) {
    for (const auto &[mode, x] : {std::pair{1, 0.5}, std::pair{2, 1.0}}) {
      set({"edge_kind=" + std::to_string(kind), "out_mode=" + std::to_string(mode)});
      session_->init();  // the edges are found anew
      for (double host : {std::numeric_limits<double>::infinity(), -std::nan("7"), 0.11}) {
        LWShaderAccess in = cube_top(x);
        in.luminous = host;
        LWShaderAccess want = in;
        want.luminous = std::isfinite(host) && (kind == 0 || mode == 1) ? 0.0 : host;
        EXPECT_TRUE(same_bits(evaluated(in), want)) << kind << " " << mode << " " << host;
      }
    }
  }
}

// No mask between 0 and 1 (-0.01 would give 2.7e43 a metre from the edge):
// the channel is left as with "None". A NaN is written as a load would.
TEST_P(EvaluateMask, AWidthNotAboveZeroWritesNoMaskAndTheBevelStillApplies) {
  for (double width : {0.0, -0.01, std::numeric_limits<double>::quiet_NaN()}) {
    write_setting(&EdgeSettings::out_width, width);
    EXPECT_EQ(evaluated(cube_top(1.0)).luminous, 0.11) << width;
    EXPECT_NEAR(evaluated(cube_top(1.0)).wNorm[0], std::sqrt(0.5), 1e-15) << width;
    EXPECT_TRUE(same_bits(evaluated(cube_top(0.0)), cube_top(0.0))) << width;
  }
}

TEST_P(EvaluateMask, GradientBumpInputReceivesItOnChannelSeven) {
  set({"out_channel=7", "out_width=0.25"});
  const LWShaderAccess out = evaluated(cube_top(0.75));
  EXPECT_EQ(out.bumpHeight, 0.36787944117144233);
  EXPECT_EQ(out.luminous, 0.11);
}

INSTANTIATE_PER_FRONT(EvaluateMask);

}  // namespace
}  // namespace korv::testing
