#include "panel/options_panel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "instance/life_cycle.h"
#include "runtime/host_services.h"

namespace korv {
namespace {

struct Row {
  std::uint32_t id;
  const char *text;  // label or data name
  const char *type;  // control class or data type
};

void expect_rows(const std::vector<Row> &expected, std::uint32_t (*id)(std::size_t),
                 const char *(*text)(std::size_t), const char *(*type)(std::size_t)) {
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    EXPECT_EQ(id(i), expected[i].id);
    EXPECT_STREQ(text(i), expected[i].text);
    EXPECT_STREQ(type(i), expected[i].type);
  }
  EXPECT_EQ(id(expected.size()), 0u);
  EXPECT_EQ(text(expected.size()), nullptr);
  EXPECT_EQ(type(expected.size()), nullptr);
}

TEST(OptionsPanelTables, ControlTableHoldsEveryControlInSettingsOrderThenAZeroRow) {
  expect_rows(
      {
          {0x8001, "Edge width [m]:", "float"},
          {0x8002, "Edge detection angle:", "angle"},
          {0x8003, "edge smoothing", "iBoolean"},
          {0x8004, "Edge smoothing angle:", "angle"},
          {0x8005, "edge rounding", "iBoolean"},
          {0x8006, "detect open edges", "iBoolean"},
          {0x8007, "scan deformed object", "iBoolean"},
          {0x8008, "disable bevel effect", "iBoolean"},
          {0x8009, "Edge output channel:", "iPopChoice"},
          {0x800A, "Channel output widht:", "float"},
          {0x800E, "band crosses polygons", "iBoolean"},
          {0x800F, "Edges:", "iPopChoice"},
          {0x8010, "Channel output mode:", "iPopChoice"},
          {0x8011, "Blend corners", "iBoolean"},
      },
      [](std::size_t i) { return panel_controls[i].cid; },
      [](std::size_t i) { return panel_controls[i].label; },
      [](std::size_t i) { return panel_controls[i].ctrlclass; });
}

TEST(OptionsPanelTables, DataTableHoldsEveryDataRowInSettingsOrderThenAZeroRow) {
  expect_rows(
      {
          {0x8001, "edge_width", "float"},
          {0x8002, "edge_dangle", "angle"},
          {0x8003, "smooth_edge", "integer"},
          {0x8004, "smooth_cos", "angle"},
          {0x8005, "round_edge", "integer"},
          {0x8006, "open_edge", "integer"},
          {0x8007, "use_deform", "integer"},
          {0x8008, "disable_bevel", "integer"},
          {0x8009, "out_channel", "integer"},
          {0x800A, "out_width", "float"},
          {0x800E, "cross_polygons", "integer"},
          {0x800F, "edge_kind", "integer"},
          {0x8010, "out_mode", "integer"},
          {0x8011, "corner_blend", "integer"},
      },
      [](std::size_t i) { return panel_data[i].vid; },
      [](std::size_t i) { return panel_data[i].name; },
      [](std::size_t i) { return panel_data[i].datatype; });
}

TEST(OptionsPanelTables, ChannelChoicesAreTheEightChannelsThenANullPointer) {
  const char *expected[] = {"None",       "Luminosity",   "Diffuse",      "Specularity",
                            "Reflection", "Transparency", "Translucency", "Gradient bump input"};
  for (int i = 0; i < 8; ++i) {
    EXPECT_STREQ(panel_channel_choices[i], expected[i]) << "choice " << i;
  }
  EXPECT_EQ(panel_channel_choices[8], nullptr);
  EXPECT_STREQ(panel_edge_kind_choices[0], "Both");
  EXPECT_STREQ(panel_edge_kind_choices[1], "Outside (convex)");
  EXPECT_STREQ(panel_edge_kind_choices[2], "Inside (concave)");
  EXPECT_EQ(panel_edge_kind_choices[3], nullptr);
}

TEST(OptionsPanelTables, EnableMapEnablesOnZeroAndDisablesOnOne) {
  EXPECT_EQ(panel_enable_map[0], 1);
  EXPECT_EQ(panel_enable_map[1], 0);
}

// One expected hint word: a number, a text, or the address of a table.
struct Word {
  enum Kind { Number, Text, Address } kind;
  std::uintptr_t number = 0;
  const char *text = nullptr;
  const void *address = nullptr;
};
Word n(std::uintptr_t v) {
  return {Word::Number, v};
}
Word t(const char *s) {
  return {Word::Text, 0, s};
}
Word a(const void *p) {
  return {Word::Address, 0, nullptr, p};
}

void expect_words(const std::vector<Word> &expected, const LWXPanelHint *hints, unsigned count) {
  ASSERT_EQ(count, expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("word " + std::to_string(i));
    const Word &w = expected[i];
    switch (w.kind) {
      case Word::Number:
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(hints[i]), w.number);
        break;
      case Word::Text:
        ASSERT_NE(hints[i], nullptr);
        EXPECT_STREQ(static_cast<const char *>(hints[i]), w.text);
        break;
      case Word::Address:
        EXPECT_EQ(hints[i], w.address);
        break;
    }
  }
}

// Both lists end alike: the pages, their labels, the tab set, the widths'
// minimum and the closing zero.
// clang-format off
const std::vector<Word> kPagesTabsAndWidths = {
    n(0x3D01FE81), n(0x800C), n(2), n(0),
    n(0x3D01FE81), n(0x800D), n(3), n(0),
    n(0x3D000B03), n(0x800C), t("Shape"), n(0),
    n(0x3D000B03), n(0x800D), t("Misc"), n(0),
    n(0x3D020A81), n(0x800B), n(0x800C), n(0x800D), n(0),
    n(0x3D014002), n(0x8001), n(0),
    n(0x3D014002), n(0x800A), n(0),
    n(0),
};
// clang-format on

std::vector<Word> followed(std::vector<Word> words) {
  words.insert(words.end(), kPagesTabsAndWidths.begin(), kPagesTabsAndWidths.end());
  return words;
}

TEST(OptionsPanelTables, HintListHoldsTheSeventeenHintsWordForWordThenAZeroWord) {
  // clang-format off
  const std::vector<Word> expected = followed({
      n(0x3D000B03), n(0), t("Brellmoor version 0.40 Options"), n(0),
      n(0x3D014503), n(0x8009), a(panel_channel_choices), n(0),
      n(0x3D014503), n(0x800F), a(panel_edge_kind_choices), n(0),
      n(0x3D014503), n(0x8010), a(panel_out_mode_choices), n(0),
      n(0x3D01FE81), n(1), n(0x8001), n(0x8002), n(0x8006), n(0x8007), n(0),
      n(0x3D01FE81), n(2), n(0x8003), n(0x8004), n(0x8005), n(0x8011), n(0x800E), n(0x800F),
          n(0),
      n(0x3D01FE81), n(3), n(0x8009), n(0x800A), n(0x8010), n(0x8008), n(0),
      n(0x3D01F984), n(0x8003), n(0), n(0), n(0), n(0x8004), n(0),
      n(0x3D01F984), n(0x8009), n(0), n(0), n(0), n(0x800A), n(0x8010), n(0),
      n(0x3D01F984), n(0x8008), n(0), n(0), a(panel_enable_map),
          n(0x8001), n(0x8003), n(0x8004), n(0x8005), n(0x8011), n(0),
  });
  // clang-format on
  expect_words(expected, panel_hints, panel_hint_count);
}

// The node's: the shader's rows and words without the bevel switch and the
// channel's settings, and out_width labelled for the node's Edge output.
TEST(OptionsPanelTables, NodeTablesAreTheShadersWithoutTheBevelSwitchAndTheChannels) {
  const Row kept[] = {{0x8001, "Edge width [m]:", "edge_width"},
                      {0x8002, "Edge detection angle:", "edge_dangle"},
                      {0x8003, "edge smoothing", "smooth_edge"},
                      {0x8004, "Edge smoothing angle:", "smooth_cos"},
                      {0x8005, "edge rounding", "round_edge"},
                      {0x8006, "detect open edges", "open_edge"},
                      {0x8007, "scan deformed object", "use_deform"},
                      {0x800A, "Edge output width:", "out_width"},
                      {0x800E, "band crosses polygons", "cross_polygons"},
                      {0x800F, "Edges:", "edge_kind"},
                      {0x8011, "Blend corners", "corner_blend"}};
  ASSERT_EQ(node_panel_controls.size(), std::size(kept) + 1);
  for (std::size_t i = 0; i < std::size(kept); ++i) {
    EXPECT_EQ(node_panel_controls[i].cid, kept[i].id);
    EXPECT_STREQ(node_panel_controls[i].label, kept[i].text);
    EXPECT_EQ(node_panel_data[i].vid, kept[i].id);
    EXPECT_STREQ(node_panel_data[i].name, kept[i].type);
  }
  EXPECT_EQ(node_panel_controls.back().cid, 0u);
  EXPECT_EQ(node_panel_data.back().vid, 0u);
  // clang-format off
  expect_words(followed({
      n(0x3D000B03), n(0), t("Brellmoor version 0.40 Options"), n(0),
      n(0x3D014503), n(0x800F), a(panel_edge_kind_choices), n(0),
      n(0x3D01FE81), n(1), n(0x8001), n(0x8002), n(0x8006), n(0x8007), n(0),
      n(0x3D01FE81), n(2), n(0x8003), n(0x8004), n(0x8005), n(0x8011), n(0x800E), n(0x800F),
          n(0),
      n(0x3D01FE81), n(3), n(0x800A), n(0),
      n(0x3D01F984), n(0x8003), n(0), n(0), n(0), n(0x8004), n(0),
  }), node_panel_hints, node_panel_hint_count);
  // clang-format on
}

// A new instance made by the module's own create callback.
class OptionsCallbacks : public ::testing::Test {
 protected:
  void SetUp() override {
    LWError error = nullptr;
    inst_ = static_cast<EdgeInstance *>(instance_create(nullptr, nullptr, &error));
    ASSERT_NE(inst_, nullptr);
  }
  void TearDown() override { instance_destroy(inst_); }

  EdgeInstance *inst_ = nullptr;
};

TEST_F(OptionsCallbacks, GetOfTheSmoothingAngleIsTheAddressOfItsFieldHoldingRadians) {
  void *address = options_get(inst_, 0x8004);
  EXPECT_EQ(address, &inst_->smooth_cos);
  EXPECT_EQ(*static_cast<double *>(address), 0.7853981633974483);
}

TEST_F(OptionsCallbacks, GetOfEveryTableIdIsTheAddressOfThatRowsField) {
  const void *fields[] = {&inst_->edge_width, &inst_->edge_dangle,   &inst_->smooth_edge,
                          &inst_->smooth_cos, &inst_->round_edge,    &inst_->open_edge,
                          &inst_->use_deform, &inst_->disable_bevel, &inst_->out_channel,
                          &inst_->out_width};
  for (std::uint32_t i = 0; i < 10; ++i) {
    EXPECT_EQ(options_get(inst_, 0x8001 + i), fields[i]) << "id 0x" << std::hex << 0x8001 + i;
  }
}

TEST_F(OptionsCallbacks, GetOfAnIdOutsideTheTableIsNull) {
  EXPECT_EQ(options_get(inst_, 0x8000), nullptr);
  EXPECT_EQ(options_get(inst_, 0x800B), nullptr);
  EXPECT_EQ(options_get(inst_, 0), nullptr);
  EXPECT_EQ(options_get(inst_, 1), nullptr);
}

TEST_F(OptionsCallbacks, SetStoresSevenInTheOutputChannelAndReturnsOne) {
  std::int32_t seven = 7;
  EXPECT_EQ(options_set(inst_, 0x8009, &seven), 1);
  EXPECT_EQ(inst_->out_channel, 7);
}

TEST_F(OptionsCallbacks, SetStoresANegativeEdgeWidthUnchanged) {
  double width = -1.0;
  EXPECT_EQ(options_set(inst_, 0x8001, &width), 1);
  EXPECT_EQ(inst_->edge_width, -1.0);
}

TEST_F(OptionsCallbacks, SetOfAnIdOutsideTheTableReturnsZeroAndChangesNothing) {
  EdgeInstance before;
  std::memcpy(static_cast<void *>(&before), inst_, sizeof before);
  double value = 123.0;
  EXPECT_EQ(options_set(inst_, 0x800B, &value), 0);
  EXPECT_EQ(options_set(inst_, 0x8000, &value), 0);
  EXPECT_EQ(std::memcmp(&before, inst_, sizeof before), 0);
}

TEST_F(OptionsCallbacks, SetWithoutAValueOrAnInstanceStoresNothingAndReturnsZero) {
  EdgeInstance before;
  std::memcpy(static_cast<void *>(&before), inst_, sizeof before);
  EXPECT_EQ(options_set(inst_, 0x8001, nullptr), 0);
  EXPECT_EQ(options_set(inst_, 0x8009, nullptr), 0);
  EXPECT_EQ(std::memcmp(&before, inst_, sizeof before), 0);
  double width = 1.0;
  EXPECT_EQ(options_set(nullptr, 0x8001, &width), 0);
  EXPECT_EQ(options_get(nullptr, 0x8001), nullptr);
}

// A record of one byte pattern, to see exactly which bytes a set wrote.
class OptionsSetBytes : public ::testing::Test {
 protected:
  static constexpr unsigned char kPattern = 0xA5;
  // Every byte up to the cache, which stays null: a set that changes a value
  // empties it. Measured in SetUp, where Clang does not take the addresses
  // of the record for a read of it before it is made.
  std::size_t patterned = 0;
  void SetUp() override {
    patterned =
        std::size_t(reinterpret_cast<char *>(&inst_.cache) - reinterpret_cast<char *>(&inst_));
    std::memset(static_cast<void *>(&inst_), kPattern, patterned);
  }

  // The offsets of the bytes that no longer hold the pattern.
  std::vector<std::size_t> changed_bytes() const {
    std::vector<std::size_t> changed;
    const auto *bytes = reinterpret_cast<const unsigned char *>(&inst_);
    for (std::size_t i = 0; i < patterned; ++i) {
      if (bytes[i] != kPattern) {
        changed.push_back(i);
      }
    }
    return changed;
  }

  EdgeInstance inst_{};
};

TEST_F(OptionsSetBytes, OutputWidthWritesAllEightBytesOfTheDoubleAndNothingElse) {
  // No byte of this double equals the pattern, so every written byte shows.
  const std::uint64_t bits = 0x3FF1223344556677;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  ASSERT_EQ(options_set(&inst_, 0x800A, &value), 1);
  const std::size_t at = offsetof(EdgeSettings, out_width);
  EXPECT_EQ(changed_bytes(),
            (std::vector<std::size_t>{at, at + 1, at + 2, at + 3, at + 4, at + 5, at + 6, at + 7}));
  EXPECT_EQ(std::memcmp(&inst_.out_width, &value, 8), 0);
}

TEST_F(OptionsSetBytes, OutputChannelWritesOnlyTheFourBytesOfTheInt) {
  // A value with no byte equal to the pattern, read from an 8-byte source so
  // that a set copying too much would show.
  const std::uint64_t source = 0x1122334401020304;
  ASSERT_EQ(options_set(&inst_, 0x8009, const_cast<std::uint64_t *>(&source)), 1);
  const std::size_t at = offsetof(EdgeSettings, out_channel);
  EXPECT_EQ(changed_bytes(), (std::vector<std::size_t>{at, at + 1, at + 2, at + 3}));
  std::int32_t expected;
  std::memcpy(&expected, &source, 4);
  EXPECT_EQ(inst_.out_channel, expected);
}

// A panel service that logs the calls it receives, in order.
struct CallLog {
  std::vector<std::string> calls;
  bool refuse = false;
  LWXPanelControl *controls = nullptr;
  LWXPanelHint *hints = nullptr;
  std::uint32_t hint_id = 99;
  LWXPanelDataDesc *data = nullptr;
  LWXPanelGetFunc *get = nullptr;
  LWXPanelSetFunc *set = nullptr;
  void *view = nullptr;
  std::uint32_t data_id = 99;
  void *data_value = nullptr;
};
CallLog log_;
int panel_object;
LWXPanelID the_panel() {
  return reinterpret_cast<LWXPanelID>(&panel_object);
}

// Only the functions the panel builder may call; every other member stays null.
LWXPanelFuncs make_logging_service() {
  LWXPanelFuncs r{};
  r.version = 1;
  r.create = [](int type, LWXPanelControl *controls) -> LWXPanelID {
    log_.calls.push_back("create " + std::to_string(type));
    log_.controls = controls;
    return log_.refuse ? nullptr : the_panel();
  };
  r.destroy = [](LWXPanelID) { log_.calls.push_back("destroy"); };
  r.describe = [](LWXPanelID panel, LWXPanelDataDesc *data, LWXPanelGetFunc *get,
                  LWXPanelSetFunc *set) {
    log_.calls.push_back(panel == the_panel() ? "describe" : "describe elsewhere");
    log_.data = data;
    log_.get = get;
    log_.set = set;
  };
  r.hint = [](LWXPanelID panel, std::uint32_t id, LWXPanelHint *hints) {
    log_.calls.push_back(panel == the_panel() ? "hint" : "hint elsewhere");
    log_.hint_id = id;
    log_.hints = hints;
  };
  r.setData = [](LWXPanelID panel, std::uint32_t id, void *data) {
    log_.calls.push_back(panel == the_panel() ? "setData" : "setData elsewhere");
    log_.data_id = id;
    log_.data_value = data;
  };
  r.viewInst = [](LWXPanelID panel, void *inst) {
    log_.calls.push_back(panel == the_panel() ? "viewInst" : "viewInst elsewhere");
    log_.view = inst;
  };
  return r;
}
LWXPanelFuncs logging_service = make_logging_service();

class BuildOptionsPanel : public OptionsCallbacks {
 protected:
  void SetUp() override {
    OptionsCallbacks::SetUp();
    log_ = CallLog();
    xpanel_funcs = &logging_service;
  }
  void TearDown() override {
    xpanel_funcs = nullptr;
    OptionsCallbacks::TearDown();
  }
};

TEST_F(BuildOptionsPanel, CreatesHintsDescribesAndBindsTheInstanceInThatOrder) {
  EXPECT_EQ(build_options_panel(inst_), the_panel());
  EXPECT_EQ(log_.calls,
            (std::vector<std::string>{"create 1", "hint", "describe", "viewInst", "setData"}));
  EXPECT_EQ(log_.controls, panel_controls.data());
  EXPECT_EQ(log_.hint_id, 0u);
  EXPECT_EQ(log_.hints, panel_hints);
  EXPECT_EQ(log_.data, panel_data.data());
  EXPECT_EQ(log_.get, panel_get);
  EXPECT_EQ(log_.set, panel_set);
  EXPECT_EQ(log_.view, inst_);
  EXPECT_EQ(log_.data_id, 0u);
  EXPECT_EQ(log_.data_value, inst_);
}

TEST_F(BuildOptionsPanel, ReturnsNullAndStopsWhenTheHostRefusesToCreate) {
  log_.refuse = true;
  EXPECT_EQ(build_options_panel(inst_), nullptr);
  EXPECT_EQ(log_.calls, std::vector<std::string>{"create 1"});
}

TEST_F(BuildOptionsPanel, BuildsNothingWithoutThePanelService) {
  xpanel_funcs = nullptr;
  EXPECT_EQ(build_options_panel(inst_), nullptr);
  EXPECT_TRUE(log_.calls.empty());
}

}  // namespace
}  // namespace korv
