#include "instance/persistence.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "host/scene_state.h"
#include "host/scene_state_binary.h"
#include "host/scene_state_text.h"
#include "host/state_recorder.h"
#include "state_builder.h"

namespace korv::testing {
namespace {

using host::RecordingLoadState;
using host::RecordingSaveState;
using host::StateItems;
using host::StateReader;
using host::StateWriter;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<std::string> param_calls(const char *name, const char *type, const char *value) {
  return {"beginBlk PDPR \"PluginDataParam\" leaf 0", std::string("writeStr \"") + name + "\"",
          std::string("writeU4 ") + type, value, "endBlk"};
}

std::vector<std::string> load_param_calls(const char *name, const char *type, const char *value) {
  return {"findBlk PDPR -> PDPR",
          "readStr 512 -> " + std::to_string(std::string(name).size()) + ": \"" + name + "\"",
          std::string("readU4 1 -> 1: ") + type, value, "endBlk"};
}

EdgeInstance load(const StateItems &stored, EdgeInstance inst = default_instance()) {
  StateReader reader(stored);
  EXPECT_EQ(instance_load(&inst, reader.state()), nullptr);
  EXPECT_EQ(reader.unbalanced_ends(), 0u);
  EXPECT_EQ(reader.state()->depth(reader.state()->readData), 0) << "a block was left open";
  return inst;
}

// Every field of the two instances holds the same bits.
void expect_same_settings(const EdgeInstance &a, const EdgeInstance &b) {
  EXPECT_EQ(bits(a.edge_width), bits(b.edge_width));
  EXPECT_EQ(bits(a.edge_dangle), bits(b.edge_dangle));
  EXPECT_EQ(a.smooth_edge, b.smooth_edge);
  EXPECT_EQ(bits(a.smooth_cos), bits(b.smooth_cos));
  EXPECT_EQ(a.round_edge, b.round_edge);
  EXPECT_EQ(a.open_edge, b.open_edge);
  EXPECT_EQ(a.use_deform, b.use_deform);
  EXPECT_EQ(a.disable_bevel, b.disable_bevel);
  EXPECT_EQ(a.out_channel, b.out_channel);
  EXPECT_EQ(bits(a.out_width), bits(b.out_width));
  EXPECT_EQ(a.cross_polygons, b.cross_polygons);
  EXPECT_EQ(a.edge_kind, b.edge_kind);
  EXPECT_EQ(a.out_mode, b.out_mode);
  EXPECT_EQ(a.corner_blend, b.corner_blend);
}

TEST(SettingsTable, FollowsTheSettingsListWithDoublesAsPdblAndIntegersAsPint) {
  EdgeInstance inst = default_instance();
  const auto table = settings_param_table(inst);
  const char *names[] = {"edge_width",  "edge_dangle", "smooth_edge",    "smooth_cos",
                         "round_edge",  "open_edge",   "use_deform",     "disable_bevel",
                         "out_channel", "out_width",   "cross_polygons", "edge_kind",
                         "out_mode",    "corner_blend"};
  const void *fields[] = {&inst.edge_width, &inst.edge_dangle,    &inst.smooth_edge,
                          &inst.smooth_cos, &inst.round_edge,     &inst.open_edge,
                          &inst.use_deform, &inst.disable_bevel,  &inst.out_channel,
                          &inst.out_width,  &inst.cross_polygons, &inst.edge_kind,
                          &inst.out_mode,   &inst.corner_blend};
  const std::uint32_t types[] = {PDBL, PDBL, PINT, PDBL, PINT, PINT, PINT,
                                 PINT, PINT, PDBL, PINT, PINT, PINT, PINT};
  for (std::size_t i = 0; i < 14; ++i) {
    EXPECT_STREQ(table[i].name, names[i]);
    EXPECT_EQ(table[i].data, fields[i]) << i;
    EXPECT_EQ(table[i].type, types[i]) << i;
    EXPECT_EQ(table[i].count, 1) << i;
    EXPECT_EQ(table[i].save_fn, nullptr);
    EXPECT_EQ(table[i].load_fn, nullptr);
  }
  EXPECT_EQ(table[14].name, nullptr);
  EXPECT_EQ(table[14].data, nullptr);
  EXPECT_EQ(table[14].type, 0u);
}

TEST(SaveCallback, WritesTheVersionAndFourteenParameterBlocksForADefaultInstance) {
  EdgeInstance inst = default_instance();
  StateWriter writer;
  RecordingSaveState recorder(writer.state());
  EXPECT_EQ(instance_save(&inst, recorder.state()), nullptr);

  std::vector<std::string> expected = {"writeI4 256", "beginBlk PDLB \"PluginDataLib\" leaf 0",
                                       "writeI4 14"};
  const std::vector<std::vector<std::string>> params = {
      param_calls("edge_width", "0x5044424C", "writeU1 3F 94 7A E1 47 AE 14 7B"),
      param_calls("edge_dangle", "0x5044424C", "writeU1 3F F8 FE 3C C6 FF 87 DE"),
      param_calls("smooth_edge", "0x50494E54", "writeI4 1"),
      param_calls("smooth_cos", "0x5044424C", "writeU1 3F E9 21 FB 54 44 2D 18"),
      param_calls("round_edge", "0x50494E54", "writeI4 1"),
      param_calls("open_edge", "0x50494E54", "writeI4 0"),
      param_calls("use_deform", "0x50494E54", "writeI4 0"),
      param_calls("disable_bevel", "0x50494E54", "writeI4 0"),
      param_calls("out_channel", "0x50494E54", "writeI4 0"),
      param_calls("out_width", "0x5044424C", "writeU1 3F B9 99 99 99 99 99 9A"),
      param_calls("cross_polygons", "0x50494E54", "writeI4 0"),
      param_calls("edge_kind", "0x50494E54", "writeI4 0"),
      param_calls("out_mode", "0x50494E54", "writeI4 0"),
      param_calls("corner_blend", "0x50494E54", "writeI4 1"),
  };
  for (const auto &p : params) {
    expected.insert(expected.end(), p.begin(), p.end());
  }
  expected.push_back("endBlk");
  EXPECT_EQ(recorder.calls(), expected);
  EXPECT_TRUE(writer.complete());
}

TEST(LoadCallback, ReadsADefaultInstanceWithTheDocumentedCalls) {
  EdgeInstance saved = default_instance();
  StateWriter writer;
  instance_save(&saved, writer.state());

  EdgeInstance inst = default_instance();
  inst.edge_width = 5.0;  // so that the load visibly changes something
  StateReader reader(writer.items());
  RecordingLoadState recorder(reader.state());
  EXPECT_EQ(instance_load(&inst, recorder.state()), nullptr);

  std::vector<std::string> expected = {"readI4 1 -> 1: 256", "findBlk PDLB -> PDLB",
                                       "readI4 1 -> 1: 14"};
  const std::vector<std::vector<std::string>> params = {
      load_param_calls("edge_width", "0x5044424C", "readU1 8 -> 8: 3F 94 7A E1 47 AE 14 7B"),
      load_param_calls("edge_dangle", "0x5044424C", "readU1 8 -> 8: 3F F8 FE 3C C6 FF 87 DE"),
      load_param_calls("smooth_edge", "0x50494E54", "readI4 1 -> 1: 1"),
      load_param_calls("smooth_cos", "0x5044424C", "readU1 8 -> 8: 3F E9 21 FB 54 44 2D 18"),
      load_param_calls("round_edge", "0x50494E54", "readI4 1 -> 1: 1"),
      load_param_calls("open_edge", "0x50494E54", "readI4 1 -> 1: 0"),
      load_param_calls("use_deform", "0x50494E54", "readI4 1 -> 1: 0"),
      load_param_calls("disable_bevel", "0x50494E54", "readI4 1 -> 1: 0"),
      load_param_calls("out_channel", "0x50494E54", "readI4 1 -> 1: 0"),
      load_param_calls("out_width", "0x5044424C", "readU1 8 -> 8: 3F B9 99 99 99 99 99 9A"),
      load_param_calls("cross_polygons", "0x50494E54", "readI4 1 -> 1: 0"),
      load_param_calls("edge_kind", "0x50494E54", "readI4 1 -> 1: 0"),
      load_param_calls("out_mode", "0x50494E54", "readI4 1 -> 1: 0"),
      load_param_calls("corner_blend", "0x50494E54", "readI4 1 -> 1: 1"),
  };
  for (const auto &p : params) {
    expected.insert(expected.end(), p.begin(), p.end());
  }
  expected.push_back("endBlk");
  EXPECT_EQ(recorder.calls(), expected);
  EXPECT_EQ(reader.shortfalls(), 0u);
  expect_same_settings(inst, saved);
}

class RoundTrip : public ::testing::TestWithParam<EdgeInstance> {};

StateItems saved_state(EdgeInstance inst) {
  StateWriter writer;
  instance_save(&inst, writer.state());
  EXPECT_TRUE(writer.complete());
  return writer.items();
}

// Loads into an instance whose every setting differs from the saved ones.
void expect_restored(const StateItems &stored, const EdgeInstance &saved) {
  EdgeInstance target{};
  target.context = &target;
  target.edge_width = target.edge_dangle = target.smooth_cos = target.out_width = 123.0;
  target.smooth_edge = target.round_edge = target.open_edge = target.use_deform =
      target.disable_bevel = target.out_channel = target.cross_polygons = target.edge_kind =
          target.out_mode = target.corner_blend = 99;
  const EdgeInstance loaded = load(stored, target);
  expect_same_settings(loaded, saved);
  EXPECT_EQ(loaded.context, &target);  // not part of the stored settings
  EXPECT_EQ(loaded.cache, nullptr);
}

TEST_P(RoundTrip, RestoresEveryFieldBitForBitFromTheWrittenState) {
  expect_restored(saved_state(GetParam()), GetParam());
}

TEST_P(RoundTrip, RestoresEveryFieldBitForBitThroughTheTextForm) {
  const std::string text = host::format_state_text(saved_state(GetParam()));
  host::ParseReport report;
  const StateItems parsed = host::parse_state_text(text, report);
  EXPECT_TRUE(report.complete());
  expect_restored(parsed, GetParam());
}

TEST_P(RoundTrip, RestoresEveryFieldBitForBitThroughTheBinaryForm) {
  const std::vector<unsigned char> data = host::encode_state_binary(saved_state(GetParam()));
  host::ParseReport report;
  const StateItems decoded = host::decode_state_binary(data, report);
  EXPECT_TRUE(report.complete());
  expect_restored(decoded, GetParam());
}

EdgeInstance odd_instance(double width, double angle, double smooth, double out_width, int channel,
                          int flags) {
  EdgeInstance inst = default_instance();
  inst.edge_width = width;
  inst.edge_dangle = angle;
  inst.smooth_cos = smooth;
  inst.out_width = out_width;
  inst.out_channel = channel;
  inst.smooth_edge = flags;
  inst.round_edge = ~flags;
  inst.open_edge = flags ^ 0x00FF00FF;
  inst.use_deform = 1;
  inst.disable_bevel = flags == 0 ? 1 : 0;
  inst.cross_polygons = ~flags;
  inst.edge_kind = channel - 5;
  inst.out_mode = flags ^ 2;
  inst.corner_blend = flags ^ 4;
  return inst;
}

INSTANTIATE_TEST_SUITE_P(
    Instances, RoundTrip,
    ::testing::Values(
        default_instance(), odd_instance(-0.25, -0.0, kNaN, kInf, 7, 0),
        odd_instance(-kInf, std::numeric_limits<double>::denorm_min(),
                     std::bit_cast<double>(0x7FF4000000000001ull), 1e308, -1, INT32_MIN),
        odd_instance(std::numeric_limits<double>::max(), -kNaN, 0.0, -1e-300, INT32_MAX, 123456)));

}  // namespace
}  // namespace korv::testing
