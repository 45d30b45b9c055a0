#include "host/panel_hints.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/panel_view.h"

namespace korv::host {
namespace {

LWXPanelHint w(std::uintptr_t v) {
  return reinterpret_cast<LWXPanelHint>(v);
}
LWXPanelHint p(const void *data) {
  return const_cast<void *>(data);
}

TEST(HintWords, CountedAndListingTagsSplitByTheirLowByte) {
  // clang-format off
  LWXPanelHint hints[] = {
      w(0x12340002), w(7), w(8),                  // two words
      w(0x56780081), w(5), w(10), w(11), w(0),   // one fixed word, then a list
      w(0x9ABC0000),                              // no words at all
      w(0),
  };
  // clang-format on
  std::vector<RawHint> split;
  std::string error;
  ASSERT_TRUE(split_hint_words(hints, split, error)) << error;
  ASSERT_EQ(split.size(), 3u);
  EXPECT_EQ(split[0].tag, 0x12340002u);
  EXPECT_EQ(split[0].fixed, (std::vector<std::uintptr_t>{7, 8}));
  EXPECT_FALSE(split[0].has_list);
  EXPECT_EQ(split[1].tag, 0x56780081u);
  EXPECT_EQ(split[1].fixed, (std::vector<std::uintptr_t>{5}));
  EXPECT_TRUE(split[1].has_list);
  EXPECT_EQ(split[1].list, (std::vector<std::uintptr_t>{10, 11}));
  EXPECT_EQ(split[2].tag, 0x9ABC0000u);
  EXPECT_TRUE(split[2].fixed.empty());
}

TEST(HintWords, ACountedWordOfZeroIsAWordNotTheEnd) {
  // The zero after the tag is the hint's own word; only a zero where a tag
  // would stand ends the array.
  LWXPanelHint hints[] = {w(0x11110001), w(0), w(0x22220001), w(3), w(0)};
  std::vector<RawHint> split;
  std::string error;
  ASSERT_TRUE(split_hint_words(hints, split, error));
  ASSERT_EQ(split.size(), 2u);
  EXPECT_EQ(split[1].tag, 0x22220001u);
  EXPECT_EQ(split[1].fixed, (std::vector<std::uintptr_t>{3}));
}

TEST(HintWords, AnArrayWithoutItsEndIsReadNoFurtherThanTheLimit) {
  // A list that never closes within the eight words the reader is allowed.
  LWXPanelHint hints[] = {w(0x33330081), w(1), w(2), w(3), w(4), w(5), w(6), w(7), w(0), w(0)};
  std::vector<RawHint> split;
  std::string error;
  EXPECT_FALSE(split_hint_words(hints, split, error, 8));
  EXPECT_NE(error.find("8 words"), std::string::npos) << error;
  EXPECT_TRUE(split.empty());
}

TEST(HintWords, ANullArrayHoldsNoHints) {
  std::vector<RawHint> split;
  std::string error;
  EXPECT_TRUE(split_hint_words(nullptr, split, error));
  EXPECT_TRUE(split.empty());
}

const char *const kChoices[] = {"Off", "Low", "High", nullptr};
const int kMap[] = {0, 1, 1};

// A small panel of the host's own, not the module's: a popup 10 whose map
// enables 11, a boolean 12 that enables 11 and 13, inside a group and a tab set.
// clang-format off
LWXPanelHint kPanelHints[] = {
    w(XPTAG_LABEL), w(0), p("Test panel"), w(0),
    w(XPTAG_STRLIST), w(10), p(kChoices), w(0),
    w(XPTAG_GROUP), w(1), w(10), w(11), w(0),
    w(XPTAG_GROUP), w(2), w(13), w(12), w(0),
    w(XPTAG_ENABLE), w(10), w(0), w(0), p(kMap), w(11), w(0),
    w(XPTAG_ENABLE), w(12), w(0), w(0), w(0), w(11), w(13), w(0),
    w(XPTAG_GROUP), w(50), w(2), w(0),
    w(XPTAG_LABEL), w(50), p("Page"), w(0),
    w(XPTAG_TABS), w(40), w(50), w(0),
    w(XPTAG_MIN), w(10), w(0),
    w(0x44440001), w(9),
    w(0),
};
// clang-format on

TEST(PanelHints, KnownTagsGiveTitleChoicesGroupsLinksPagesAndTabSet) {
  PanelHints hints;
  apply_hints(hints, 0, kPanelHints);
  EXPECT_TRUE(hints.error.empty()) << hints.error;
  EXPECT_EQ(hints.title, "Test panel");
  EXPECT_EQ(hints.choices[10], (std::vector<std::string>{"Off", "Low", "High"}));
  ASSERT_EQ(hints.groups.size(), 3u);
  EXPECT_EQ(hints.groups[0].id, 1u);
  EXPECT_EQ(hints.groups[0].members, (std::vector<std::uint32_t>{10, 11}));
  EXPECT_EQ(hints.groups[1].members, (std::vector<std::uint32_t>{13, 12}));
  ASSERT_NE(hints.find_group(50), nullptr);
  EXPECT_EQ(hints.find_group(50)->members, (std::vector<std::uint32_t>{2}));
  EXPECT_EQ(hints.find_group(40), nullptr);
  ASSERT_EQ(hints.enable_links.size(), 2u);
  EXPECT_EQ(hints.enable_links[0].controller, 10u);
  EXPECT_EQ(hints.enable_links[0].map, kMap);
  EXPECT_EQ(hints.enable_links[0].dependents, (std::vector<std::uint32_t>{11}));
  EXPECT_EQ(hints.enable_links[1].map, nullptr);
  EXPECT_EQ(hints.enable_links[1].dependents, (std::vector<std::uint32_t>{11, 13}));
  EXPECT_EQ(hints.labels[50], "Page");
  ASSERT_EQ(hints.tab_sets.size(), 1u);
  EXPECT_EQ(hints.tab_sets[0].id, 40u);
  EXPECT_EQ(hints.tab_sets[0].members, (std::vector<std::uint32_t>{50}));
  ASSERT_EQ(hints.control_words.size(), 1u);
  EXPECT_EQ(hints.control_words[0], (std::pair<std::uint32_t, std::uintptr_t>{10, 0}));
  ASSERT_EQ(hints.not_understood.size(), 1u);
  EXPECT_EQ(hints.not_understood[0].tag, 0x44440001u);
}

TEST(PanelHints, HintsAppliedToAControlAreKeptButNotTakenForThePanels) {
  PanelHints hints;
  LWXPanelHint on_control[] = {w(XPTAG_LABEL), w(0), p("Not a title"), w(0), w(0)};
  apply_hints(hints, 10, on_control);
  EXPECT_TRUE(hints.title.empty());
  EXPECT_EQ(hints.not_understood.size(), 1u);
}

// The instance behind the small panel: one field per control.
struct Values {
  std::int32_t popup = 0;   // 10
  double number = 2.5;      // 11
  std::int32_t toggle = 1;  // 12
  double angle = 0.5;       // 13
};

void *get_value(void *inst, std::uint32_t id) {
  auto *v = static_cast<Values *>(inst);
  switch (id) {
    case 10:
      return &v->popup;
    case 11:
      return &v->number;
    case 12:
      return &v->toggle;
    case 13:
      return &v->angle;
  }
  return nullptr;
}

LWXPanelControl kControls[] = {{10, "Level:", "iPopChoice"},
                               {11, "Amount:", "float"},
                               {12, "switch", "iBoolean"},
                               {13, "Spread:", "angle"},
                               {0, nullptr, nullptr}};
LWXPanelDataDesc kData[] = {{10, "level", "integer"},
                            {11, "amount", "float"},
                            {12, "switch", "integer"},
                            {13, "spread", "angle"},
                            {0, nullptr, nullptr}};

class SmallPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    panel_.type = LWXP_VIEW;
    panel_.controls = kControls;
    panel_.data = kData;
    panel_.get = get_value;
    panel_.view_instance = &values_;
    apply_hints(panel_.layout, 0, kPanelHints);
  }

  Values values_;
  RecordedPanel panel_;
};

TEST_F(SmallPanel, ValuesAreReadByTheirDataType) {
  EXPECT_EQ(read_value(panel_, 12).kind, PanelValue::Kind::Integer);
  EXPECT_EQ(read_value(panel_, 12).integer, 1);
  EXPECT_EQ(read_value(panel_, 11).kind, PanelValue::Kind::Number);
  EXPECT_EQ(read_value(panel_, 11).number, 2.5);
  EXPECT_EQ(read_value(panel_, 99).kind, PanelValue::Kind::None);
  EXPECT_EQ(value_text(panel_, 10), "\"Off\"");
  EXPECT_EQ(value_text(panel_, 11), "2.5");
  EXPECT_EQ(value_text(panel_, 12), "on");
  values_.angle = 3.14159265358979323846 / 4.0;
  EXPECT_EQ(value_text(panel_, 13), "45 deg");
  values_.popup = 3;
  EXPECT_EQ(value_text(panel_, 10), "no choice (3)");
}

TEST_F(SmallPanel, LinksCombineWithAndAndAMapIsIndexedByTheValue) {
  // Popup "Off" maps to 0: 11 is disabled although the switch is on.
  EXPECT_FALSE(control_enabled(panel_, 11));
  EXPECT_TRUE(control_enabled(panel_, 13));
  values_.popup = 2;
  EXPECT_TRUE(control_enabled(panel_, 11));
  values_.toggle = 0;
  EXPECT_FALSE(control_enabled(panel_, 11));
  EXPECT_FALSE(control_enabled(panel_, 13));
  EXPECT_TRUE(control_enabled(panel_, 10));  // named by no link
}

TEST_F(SmallPanel, AMapIsNeverReadBeyondTheStatesOfItsController) {
  // Three choices, so a popup value of 3 has no map entry: disabled, and the
  // host does not read past the module's array.
  values_.popup = 3;
  EXPECT_FALSE(control_enabled(panel_, 11));
  values_.popup = -1;
  EXPECT_FALSE(control_enabled(panel_, 11));
}

TEST_F(SmallPanel, ABooleanControllerReadsItsMapAtOnForAnyNonZeroValue) {
  // A boolean has two states, so only the first two entries are its map; the
  // third is there to show a read beyond them.
  static const int kBooleanMap[] = {0, 1, 0};
  LWXPanelHint link[] = {w(XPTAG_ENABLE), w(12), w(0), w(0), p(kBooleanMap), w(13), w(0), w(0)};
  apply_hints(panel_.layout, 0, link);
  EXPECT_TRUE(control_enabled(panel_, 13));
  values_.toggle = 2;
  EXPECT_TRUE(control_enabled(panel_, 13));
  values_.toggle = -7;
  EXPECT_TRUE(control_enabled(panel_, 13));
  values_.toggle = 0;
  EXPECT_FALSE(control_enabled(panel_, 13));
}

TEST_F(SmallPanel, DrawingPutsTheTabSetAfterTheGroupThatComesFirstInTheTable) {
  const std::string drawn = draw_panel(panel_);
  const std::vector<std::string> in_order = {
      "Test panel",    "group 1", "Level:",  "Amount:", "tab set",
      "page \"Page\"", "group 2", "Spread:", "switch"};
  std::size_t at = 0;
  for (const std::string &text : in_order) {
    const std::size_t found = drawn.find(text, at);
    ASSERT_NE(found, std::string::npos) << "'" << text << "' not after offset " << at << " in\n"
                                        << drawn;
    at = found + text.size();
  }
  EXPECT_NE(drawn.find("hints not understood: 1"), std::string::npos) << drawn;
}

TEST_F(SmallPanel, GroupsThatHoldEachOtherAreDrawnOnceAndTheDrawingEnds) {
  // Group 1 now also holds group 2, and group 2 holds group 1.
  LWXPanelHint loop[] = {w(XPTAG_GROUP), w(1), w(2), w(0), w(XPTAG_GROUP), w(2), w(1), w(0), w(0)};
  apply_hints(panel_.layout, 0, loop);
  const std::string drawn = draw_panel(panel_);
  EXPECT_EQ(drawn.find("Level:"), drawn.rfind("Level:")) << drawn;
  EXPECT_NE(drawn.find("Spread:"), std::string::npos) << drawn;
}

}  // namespace
}  // namespace korv::host
