// Loading settings from stored sets that are damaged, foreign or written by
// other versions: only fields that a matching block names change.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "host/scene_state.h"
#include "host/state_recorder.h"
#include "instance/persistence.h"
#include "state_builder.h"

namespace korv::testing {
namespace {

using host::RecordingLoadState;
using host::StateItems;
using host::StateReader;

long count_calls(const std::vector<std::string> &calls, const std::string &prefix) {
  return std::count_if(calls.begin(), calls.end(),
                       [&](const std::string &c) { return c.rfind(prefix, 0) == 0; });
}

struct Loaded {
  EdgeInstance inst;
  std::vector<std::string> calls;
};

// Loads into inst, checking that every block attempted was closed once.
Loaded load(const StateItems &stored, EdgeInstance inst = default_instance()) {
  StateReader reader(stored);
  std::vector<std::string> calls;
  {
    RecordingLoadState recorder(reader.state());
    EXPECT_EQ(instance_load(&inst, recorder.state()), nullptr);
    calls = recorder.calls();
  }
  EXPECT_EQ(count_calls(calls, "findBlk"), count_calls(calls, "endBlk"));
  EXPECT_EQ(reader.unbalanced_ends(), 0u);
  EXPECT_EQ(reader.state()->depth(reader.state()->readData), 0) << "a block was left open";
  return {inst, calls};
}

// An instance whose settings all differ from the defaults.
EdgeInstance changed_instance() {
  EdgeInstance inst = default_instance();
  inst.edge_width = 0.5;
  inst.edge_dangle = 0.25;
  inst.smooth_edge = 0;
  inst.smooth_cos = 0.125;
  inst.round_edge = 0;
  inst.open_edge = 1;
  inst.use_deform = 1;
  inst.disable_bevel = 1;
  inst.out_channel = 4;
  inst.out_width = 2.5;
  return inst;
}

TEST(LoadVersion, OtherThan256LoadsNothingAndReadsNoFurther) {
  for (int version : {255, 257, 0, -256}) {
    StateBuilder b;
    b.settings(1, version).param("edge_width", PDBL, 0.5).end();
    const Loaded r = load(b.items());
    EXPECT_EQ(bits(r.inst.edge_width), bits(0.02)) << version;
    EXPECT_EQ(r.calls, std::vector<std::string>{"readI4 1 -> 1: " + std::to_string(version)});
  }
}

TEST(LoadVersion, MissingOrOfAnotherKindLoadsNothing) {
  StateBuilder as_u4;
  as_u4.u4(256).begin(kLibraryBlock).i4(1).param("edge_width", PDBL, 0.5).end();
  EXPECT_EQ(load(as_u4.items()).calls, std::vector<std::string>{"readI4 1 -> 0"});
  EXPECT_EQ(bits(load(as_u4.items()).inst.edge_width), bits(0.02));

  const Loaded empty = load({});
  EXPECT_EQ(empty.calls, std::vector<std::string>{"readI4 1 -> 0"});
}

TEST(LoadBlocks, InAnotherOrderThanTheTableLoadEveryField) {
  const EdgeInstance want = changed_instance();
  StateBuilder b;
  b.settings(10)
      .param("out_width", PDBL, want.out_width)
      .param("out_channel", PINT, want.out_channel)
      .param("disable_bevel", PINT, want.disable_bevel)
      .param("use_deform", PINT, want.use_deform)
      .param("open_edge", PINT, want.open_edge)
      .param("round_edge", PINT, want.round_edge)
      .param("smooth_cos", PDBL, want.smooth_cos)
      .param("smooth_edge", PINT, want.smooth_edge)
      .param("edge_dangle", PDBL, want.edge_dangle)
      .param("edge_width", PDBL, want.edge_width)
      .end();
  const EdgeInstance got = load(b.items()).inst;
  EXPECT_EQ(got.edge_width, 0.5);
  EXPECT_EQ(got.edge_dangle, 0.25);
  EXPECT_EQ(got.smooth_edge, 0);
  EXPECT_EQ(got.smooth_cos, 0.125);
  EXPECT_EQ(got.round_edge, 0);
  EXPECT_EQ(got.open_edge, 1);
  EXPECT_EQ(got.use_deform, 1);
  EXPECT_EQ(got.disable_bevel, 1);
  EXPECT_EQ(got.out_channel, 4);
  EXPECT_EQ(got.out_width, 2.5);
  EXPECT_EQ(got.out_mode, 0);      // ten blocks, as written before there was a mode
  EXPECT_EQ(got.corner_blend, 0);  // on for a new instance, off for an older scene
}

TEST(LoadBlocks, AKnownNameWithAnotherTypeIsSkippedAndTheNextBlockRead) {
  StateBuilder b;
  b.settings(3)
      .param("edge_width", PINT, 5)
      .begin(kParamBlock)
      .str("out_channel")
      .u4(PDBL)
      .dbl(3.0)
      .end()
      .param("open_edge", PINT, 1)
      .end();
  const Loaded r = load(b.items());
  EXPECT_EQ(bits(r.inst.edge_width), bits(0.02));
  EXPECT_EQ(r.inst.out_channel, 0);
  EXPECT_EQ(r.inst.open_edge, 1);
  // The skipped blocks' values are not even read.
  EXPECT_EQ(count_calls(r.calls, "readI4 1 -> 1: 5"), 0);
  EXPECT_EQ(count_calls(r.calls, "readU1"), 0);
}

TEST(LoadBlocks, NamesAreCaseSensitive) {
  StateBuilder b;
  b.settings(3)
      .param("Edge_Width", PDBL, 0.5)
      .param("EDGE_WIDTH", PDBL, 0.5)
      .param("out_Channel", PINT, 3)
      .end();
  const EdgeInstance got = load(b.items()).inst;
  EXPECT_EQ(bits(got.edge_width), bits(0.02));
  EXPECT_EQ(got.out_channel, 0);
}

TEST(LoadBlocks, AnUnknownNameBetweenKnownOnesIsSkipped) {
  StateBuilder b;
  b.settings(4)
      .param("out_channel", PINT, 3)
      .param("edge_glow", PDBL, 2.0)
      .begin(kParamBlock)
      .str("edge_tint")
      .u4(PUSR)
      .i4({1, 2, 3})
      .str("red")
      .end()
      .param("out_width", PDBL, 0.7)
      .end();
  const EdgeInstance got = load(b.items()).inst;
  EXPECT_EQ(got.out_channel, 3);
  EXPECT_EQ(got.out_width, 0.7);
  EXPECT_EQ(bits(got.edge_width), bits(0.02));
}

TEST(LoadBlocks, MissingParametersKeepThePreviousValues) {
  StateBuilder b;
  b.settings(2).param("smooth_edge", PINT, 1).param("edge_width", PDBL, 0.03).end();
  const EdgeInstance before = changed_instance();
  const EdgeInstance got = load(b.items(), before).inst;
  EXPECT_EQ(got.smooth_edge, 1);
  EXPECT_EQ(got.edge_width, 0.03);
  EXPECT_EQ(got.edge_dangle, before.edge_dangle);
  EXPECT_EQ(got.smooth_cos, before.smooth_cos);
  EXPECT_EQ(got.round_edge, before.round_edge);
  EXPECT_EQ(got.open_edge, before.open_edge);
  EXPECT_EQ(got.use_deform, before.use_deform);
  EXPECT_EQ(got.disable_bevel, before.disable_bevel);
  EXPECT_EQ(got.out_channel, before.out_channel);
  EXPECT_EQ(got.out_width, before.out_width);
  EXPECT_EQ(got.corner_blend, 0);  // a scene without its block predates it
  StateBuilder with_block;
  with_block.settings(1).param("corner_blend", PINT, 1).end();
  EXPECT_EQ(load(with_block.items(), got).inst.corner_blend, 1);
}

TEST(LoadBlocks, TheSameParameterTwiceLeavesTheLaterValue) {
  StateBuilder b;
  b.settings(3)
      .param("out_channel", PINT, 2)
      .param("edge_width", PDBL, 0.25)
      .param("out_channel", PINT, 6)
      .end();
  const EdgeInstance got = load(b.items()).inst;
  EXPECT_EQ(got.out_channel, 6);
  EXPECT_EQ(got.edge_width, 0.25);
}

TEST(LoadBlocks, ValuesBeyondTheTablesCountAreNotRead) {
  StateBuilder b;
  b.settings(3)
      .begin(kParamBlock)
      .str("out_channel")
      .u4(PINT)
      .i4({5, 6, 7})
      .end()
      .begin(kParamBlock)
      .str("edge_width")
      .u4(PDBL)
      .dbl(0.75)
      .dbl(9.0)
      .end()
      .param("round_edge", PINT, 0)
      .end();
  const Loaded r = load(b.items());
  EXPECT_EQ(r.inst.out_channel, 5);
  EXPECT_EQ(r.inst.edge_width, 0.75);
  EXPECT_EQ(r.inst.round_edge, 0);  // the block after them is still read
  EXPECT_EQ(count_calls(r.calls, "readI4 1 -> 1: 5"), 1);
  EXPECT_EQ(count_calls(r.calls, "readU1 8 -> 8"), 1);
}

TEST(LoadBlocks, ACutDoubleLeavesTheFieldAsItWas) {
  StateBuilder b;
  b.settings(2)
      .begin(kParamBlock)
      .str("edge_width")
      .u4(PDBL)
      .bytes({0x3F, 0xE0, 0x00, 0x00, 0x00})
      .end()
      .param("out_width", PDBL, 0.3)
      .end();
  const Loaded r = load(b.items());
  EXPECT_EQ(bits(r.inst.edge_width), bits(0.02));
  EXPECT_EQ(r.inst.out_width, 0.3);
  EXPECT_EQ(count_calls(r.calls, "readU1 8 -> 5: 3F E0 00 00 00"), 1);
}

TEST(LoadBlocks, FewerBlocksThanTheCountReadWhatIsThereAndCloseEveryAttempt) {
  StateBuilder b;
  b.settings(10).param("open_edge", PINT, 1).param("edge_width", PDBL, 0.5).end();
  const Loaded r = load(b.items());
  EXPECT_EQ(r.inst.open_edge, 1);
  EXPECT_EQ(r.inst.edge_width, 0.5);
  EXPECT_EQ(count_calls(r.calls, "findBlk PDPR -> PDPR"), 2);
  EXPECT_EQ(count_calls(r.calls, "findBlk PDPR -> 0"), 8);
  EXPECT_EQ(count_calls(r.calls, "endBlk"), 11);
  EXPECT_EQ(r.calls.back(), "endBlk");
}

TEST(LoadBlocks, BlocksBeyondTheCountAreNotRead) {
  StateBuilder b;
  b.settings(1).param("open_edge", PINT, 1).param("edge_width", PDBL, 0.5).end();
  const Loaded r = load(b.items());
  EXPECT_EQ(r.inst.open_edge, 1);
  EXPECT_EQ(bits(r.inst.edge_width), bits(0.02));
  EXPECT_EQ(count_calls(r.calls, "findBlk PDPR"), 1);
}

TEST(LoadBlocks, AnUnreadableCountIsTakenAsZero) {
  StateBuilder b;
  b.i4(256).begin(kLibraryBlock).u4(1).param("open_edge", PINT, 1).end();
  const Loaded r = load(b.items());
  EXPECT_EQ(r.inst.open_edge, 0);
  EXPECT_EQ(r.calls, (std::vector<std::string>{"readI4 1 -> 1: 256", "findBlk PDLB -> PDLB",
                                               "readI4 1 -> 0", "endBlk"}));
}

TEST(LoadBlocks, ANegativeCountReadsNoParameterBlock) {
  StateBuilder b;
  b.settings(-3).param("open_edge", PINT, 1).end();
  const Loaded r = load(b.items());
  EXPECT_EQ(r.inst.open_edge, 0);
  EXPECT_EQ(count_calls(r.calls, "findBlk PDPR"), 0);
}

TEST(LoadBlocks, WithoutTheLibraryBlockOnlyItsAttemptIsClosed) {
  StateBuilder b;
  b.i4(256).begin(PDPR, "PluginDataParam").str("open_edge").u4(PINT).i4(1).end();
  const Loaded r = load(b.items());
  EXPECT_EQ(r.inst.open_edge, 0);
  EXPECT_EQ(r.calls,
            (std::vector<std::string>{"readI4 1 -> 1: 256", "findBlk PDLB -> 0", "endBlk"}));
}

// Counts findBlk calls on the way to a reader, keeping nothing else, so that
// a reader that spins costs time but no memory.
struct CountingLoadState {
  explicit CountingLoadState(const LWLoadState *inner) : inner(inner), state(*inner) {
    state.readData = this;
    state.findBlk = [](void *data, const LWBlockIdent *list) {
      auto *self = static_cast<CountingLoadState *>(data);
      ++self->find_calls;
      return self->inner->findBlk(self->inner->readData, list);
    };
    state.readU1 = [](void *d, unsigned char *v, int n) { return in(d)->readU1(rd(d), v, n); };
    state.readI4 = [](void *d, int *v, int n) { return in(d)->readI4(rd(d), v, n); };
    state.readU4 = [](void *d, unsigned int *v, int n) { return in(d)->readU4(rd(d), v, n); };
    state.readFP = [](void *d, float *v, int n) { return in(d)->readFP(rd(d), v, n); };
    state.readStr = [](void *d, char *b, int n) { return in(d)->readStr(rd(d), b, n); };
    state.endBlk = [](void *d) { in(d)->endBlk(rd(d)); };
    state.depth = [](void *d) { return in(d)->depth(rd(d)); };
  }
  static const LWLoadState *in(void *d) { return static_cast<CountingLoadState *>(d)->inner; }
  static void *rd(void *d) { return in(d)->readData; }

  const LWLoadState *inner;
  LWLoadState state;
  long long find_calls = 0;
};

TEST(LoadBlocks, AHugeCountCannotMakeTheReaderSpin) {
  StateBuilder b;
  b.settings(INT_MAX).param("open_edge", PINT, 1).end();
  StateReader reader(b.items());
  CountingLoadState counter(reader.state());
  EdgeInstance inst = default_instance();
  instance_load(&inst, &counter.state);
  EXPECT_EQ(inst.open_edge, 1);
  EXPECT_EQ(counter.find_calls, 1 + kMaxParamBlocks);
  EXPECT_EQ(reader.state()->depth(reader.state()->readData), 0);
}

TEST(LoadBlocks, ABlockWithoutNameOrTypeIsSkipped) {
  StateBuilder b;
  b.settings(4)
      .begin(kParamBlock)
      .u4(PINT)
      .i4(3)
      .end()  // no name
      .begin(kParamBlock)
      .str("out_channel")
      .i4(3)
      .end()  // no type
      .begin(kParamBlock)
      .str("")
      .u4(PINT)
      .i4(3)
      .end()  // empty name
      .param("out_channel", PINT, 2)
      .end();
  const Loaded r = load(b.items());
  EXPECT_EQ(r.inst.out_channel, 2);
  EXPECT_EQ(count_calls(r.calls, "readI4 1 -> 1: 3"), 0);
}

TEST(LoadBlocks, AStoredNameLongerThanTheBufferMatchesNothing) {
  const std::string long_name = "edge_width" + std::string(600, 'x');
  StateBuilder b;
  b.settings(2).param(long_name.c_str(), PDBL, 0.5).param("out_channel", PINT, 1).end();
  const Loaded r = load(b.items());
  EXPECT_EQ(bits(r.inst.edge_width), bits(0.02));
  EXPECT_EQ(r.inst.out_channel, 1);
  EXPECT_EQ(count_calls(r.calls, "readStr 512 -> 511"), 1);
}

}  // namespace
}  // namespace korv::testing
