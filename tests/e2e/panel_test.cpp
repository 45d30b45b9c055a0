// The options panel as the stand-in host receives it from the loaded module.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/panel_view.h"
#include "hostapi/lwshader.h"
#include "module_fixture.h"

namespace korv::testing {
namespace {

using Ids = std::vector<std::uint32_t>;

class OptionsPanel : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    ASSERT_NE(session_, nullptr);
    panel_ = session_->panel();
    ASSERT_NE(panel_, nullptr);
  }

  void set(const std::string &name, const std::string &value) {
    ASSERT_EQ(session_->set_setting(name, value), "") << name << "=" << value;
  }

  // The settings' controls that the panel shows disabled.
  Ids disabled() const {
    Ids ids;
    for (const LWXPanelControl *c = panel_->controls; c->cid != 0; ++c) {
      if (!host::control_enabled(*panel_, c->cid)) {
        ids.push_back(c->cid);
      }
    }
    return ids;
  }

  host::RecordedPanel *panel_ = nullptr;
};

TEST_F(OptionsPanel, IsAViewPanelWithEveryControlAndDataRow) {
  EXPECT_EQ(panel_->type, LWXP_VIEW);
  ASSERT_NE(panel_->controls, nullptr);
  ASSERT_NE(panel_->data, nullptr);
  for (std::uint32_t id : {0x8001u, 0x8002u, 0x8003u, 0x8004u, 0x8005u, 0x8006u, 0x8007u, 0x8008u,
                           0x8009u, 0x800Au, 0x800Eu, 0x800Fu, 0x8010u, 0x8011u}) {
    EXPECT_NE(panel_->control_row(id), nullptr) << id;
    EXPECT_NE(panel_->data_row(id), nullptr) << id;
  }
  EXPECT_EQ(panel_->controls[14].cid, 0u);
  EXPECT_EQ(panel_->data[14].vid, 0u);
  EXPECT_NE(panel_->get, nullptr);
  EXPECT_NE(panel_->set, nullptr);
  EXPECT_EQ(panel_->view_instance, session_->instance());
  ASSERT_EQ(panel_->set_data.size(), 1u);
  EXPECT_EQ(panel_->set_data[0].first, 0u);
  EXPECT_EQ(panel_->set_data[0].second, session_->instance());
  ASSERT_EQ(panel_->hints.size(), 1u);
  EXPECT_EQ(panel_->hints[0].first, 0u);
}

TEST_F(OptionsPanel, HintsGiveTheTitleAndThePopupChoices) {
  const host::PanelHints &h = panel_->layout;
  EXPECT_TRUE(h.error.empty()) << h.error;
  EXPECT_TRUE(h.not_understood.empty());
  EXPECT_EQ(h.title, "Brellmoor version 0.40 Options");
  ASSERT_EQ(h.choices.size(), 3u);
  EXPECT_EQ(h.choices.at(0x8010),
            (std::vector<std::string>{"Replace", "Multiply", "Multiply by inverse"}));
  EXPECT_EQ(h.choices.at(0x800F),
            (std::vector<std::string>{"Both", "Outside (convex)", "Inside (concave)"}));
  EXPECT_EQ(h.choices.at(0x8009),
            (std::vector<std::string>{"None", "Luminosity", "Diffuse", "Specularity", "Reflection",
                                      "Transparency", "Translucency", "Gradient bump input"}));
}

TEST_F(OptionsPanel, HintsGiveThreeGroupsTwoLabelledPagesAndOneTabSet) {
  const host::PanelHints &h = panel_->layout;
  ASSERT_EQ(h.groups.size(), 5u);
  EXPECT_EQ(h.groups[0].id, 1u);
  EXPECT_EQ(h.groups[0].members, (Ids{0x8001, 0x8002, 0x8006, 0x8007}));
  EXPECT_EQ(h.groups[1].id, 2u);
  EXPECT_EQ(h.groups[1].members, (Ids{0x8003, 0x8004, 0x8005, 0x8011, 0x800E, 0x800F}));
  EXPECT_EQ(h.groups[2].id, 3u);
  EXPECT_EQ(h.groups[2].members, (Ids{0x8009, 0x800A, 0x8010, 0x8008}));
  EXPECT_EQ(h.groups[3].id, 0x800Cu);
  EXPECT_EQ(h.groups[3].members, Ids{2});
  EXPECT_EQ(h.groups[4].id, 0x800Du);
  EXPECT_EQ(h.groups[4].members, Ids{3});
  EXPECT_EQ(h.labels, (std::map<std::uint32_t, std::string>{{0x800C, "Shape"}, {0x800D, "Misc"}}));
  ASSERT_EQ(h.tab_sets.size(), 1u);
  EXPECT_EQ(h.tab_sets[0].id, 0x800Bu);
  EXPECT_EQ(h.tab_sets[0].members, (Ids{0x800C, 0x800D}));
  EXPECT_EQ(h.control_words,
            (std::vector<std::pair<std::uint32_t, std::uintptr_t>>{{0x8001, 0}, {0x800A, 0}}));
}

TEST_F(OptionsPanel, HintsGiveThreeEnableLinksTheBevelSwitchOnesThroughTheMap) {
  const auto &links = panel_->layout.enable_links;
  ASSERT_EQ(links.size(), 3u);
  EXPECT_EQ(links[0].controller, 0x8003u);
  EXPECT_EQ(links[0].map, nullptr);
  EXPECT_EQ(links[0].dependents, Ids{0x8004});
  EXPECT_EQ(links[1].controller, 0x8009u);
  EXPECT_EQ(links[1].map, nullptr);
  EXPECT_EQ(links[1].dependents, (Ids{0x800A, 0x8010}));
  EXPECT_EQ(links[2].controller, 0x8008u);
  ASSERT_NE(links[2].map, nullptr);
  EXPECT_EQ(links[2].map[0], 1);
  EXPECT_EQ(links[2].map[1], 0);
  EXPECT_EQ(links[2].dependents, (Ids{0x8001, 0x8003, 0x8004, 0x8005, 0x8011}));
}

TEST_F(OptionsPanel, ANewInstanceShowsOnlyTheOutputWidthAndModeDisabled) {
  EXPECT_EQ(disabled(), (Ids{0x800A, 0x8010}));
}

TEST_F(OptionsPanel, DisablingTheBevelDisablesWidthSmoothingItsAngleRoundingAndBlending) {
  set("out_channel", "1");  // so that the output width is enabled of its own
  set("disable_bevel", "1");
  EXPECT_EQ(disabled(), (Ids{0x8001, 0x8003, 0x8004, 0x8005, 0x8011}));
  // Any non-zero value (such as a scene may store) turns the switch on, and
  // the map is read at "on".
  ASSERT_EQ(session_->set_setting("disable_bevel", "2", false), "");
  EXPECT_EQ(disabled(), (Ids{0x8001, 0x8003, 0x8004, 0x8005, 0x8011}));
  set("disable_bevel", "0");
  EXPECT_EQ(disabled(), Ids{});
}

TEST_F(OptionsPanel, OutputWidthAndModeAreDisabledExactlyWhileTheChannelIsNone) {
  for (int channel = 0; channel <= 7; ++channel) {
    set("out_channel", std::to_string(channel));
    EXPECT_EQ(host::control_enabled(*panel_, 0x800A), channel != 0) << "channel " << channel;
    EXPECT_EQ(host::control_enabled(*panel_, 0x8010), channel != 0) << "channel " << channel;
  }
}

TEST_F(OptionsPanel, SmoothingAngleIsDisabledWhileEdgeSmoothingIsOff) {
  set("out_channel", "2");
  set("smooth_edge", "0");
  EXPECT_EQ(disabled(), Ids{0x8004});
  set("smooth_edge", "1");
  EXPECT_EQ(disabled(), Ids{});
}

TEST_F(OptionsPanel, ValuesAreShownInDegreesAndByChoiceText) {
  EXPECT_EQ(host::value_text(*panel_, 0x8002), "89.5 deg");
  EXPECT_EQ(host::value_text(*panel_, 0x8004), "45 deg");
  EXPECT_EQ(host::value_text(*panel_, 0x8001), "0.02");
  EXPECT_EQ(host::value_text(*panel_, 0x8003), "on");
  EXPECT_EQ(host::value_text(*panel_, 0x8009), "\"None\"");
  set("out_channel", "7");
  EXPECT_EQ(host::value_text(*panel_, 0x8009), "\"Gradient bump input\"");
}

TEST_F(OptionsPanel, TheDrawnPanelHasTheTitleGroupOneThenTheTabsWithShapeAndMisc) {
  set("disable_bevel", "1");
  const std::string drawn = host::draw_panel(*panel_);
  // Each line in turn, found after the one before it.
  const std::vector<std::string> in_order = {
      "Brellmoor version 0.40 Options\n",
      "\n  group 1\n",
      "Edge width [m]:              float       0.02                     disabled  edge_width\n",
      "Edge detection angle:        angle       89.5 deg                 enabled   edge_dangle\n",
      "detect open edges            iBoolean    off                      enabled   open_edge\n",
      "scan deformed object         iBoolean    off                      enabled   use_deform\n",
      "\n  tab set 0x800B\n",
      "\n    page \"Shape\"\n",
      "\n      group 2\n",
      "edge smoothing           iBoolean    on                       disabled  smooth_edge\n",
      "Edge smoothing angle:    angle       45 deg                   disabled  smooth_cos\n",
      "edge rounding            iBoolean    on                       disabled  round_edge\n",
      "\n    page \"Misc\"\n",
      "\n      group 3\n",
      "Edge output channel:     iPopChoice  \"None\"                   enabled   out_channel\n",
      "Channel output widht:    float       0.1                      disabled  out_width\n",
      "disable bevel effect     iBoolean    on                       enabled   disable_bevel\n",
  };
  std::size_t at = 0;
  for (const std::string &line : in_order) {
    const std::size_t found = drawn.find(line, at);
    ASSERT_NE(found, std::string::npos) << "'" << line << "' not after offset " << at << " in\n"
                                        << drawn;
    at = found + line.size() - 1;
  }
  EXPECT_EQ(drawn.find("hints"), std::string::npos) << drawn;
}

TEST_F(OptionsPanel, SettingsByNameWriteThroughThePanelIntoTheInstance) {
  set("edge_width", "-1");
  set("smooth_cos", "30deg");
  set("out_width", "0.25");
  EXPECT_EQ(host::read_value(*panel_, 0x8001).number, -1.0);
  EXPECT_EQ(host::read_value(*panel_, 0x8004).number, 30 * 3.14159265358979323846 / 180.0);
  EXPECT_EQ(host::read_value(*panel_, 0x800A).number, 0.25);
  set("edge_dangle", "1.5");
  EXPECT_EQ(host::read_value(*panel_, 0x8002).number, 1.5);
}

TEST_F(OptionsPanel, AnUnknownNameIsOneLineListingEveryValidName) {
  const std::string error = session_->set_setting("edge_size", "1");
  EXPECT_EQ(error.find('\n'), std::string::npos);
  EXPECT_NE(error.find("edge_size"), std::string::npos) << error;
  for (const char *name :
       {"edge_width", "edge_dangle", "smooth_edge", "smooth_cos", "round_edge", "open_edge",
        "use_deform", "disable_bevel", "out_channel", "out_width"}) {
    EXPECT_NE(error.find(name), std::string::npos) << name << " missing from: " << error;
  }
}

TEST_F(OptionsPanel, AValueThatDoesNotParseForItsTypeIsRefusedAndNothingChanges) {
  for (const auto &[name, value] : std::vector<std::pair<std::string, std::string>>{
           {"smooth_edge", "1.5"},
           {"out_channel", "two"},
           {"out_channel", ""},
           {"out_channel", "99999999999"},
           {"edge_width", "wide"},
           {"edge_width", "nan"},
           {"edge_width", "inf"},
           {"edge_width", "1e999"},
           {"out_width", "0.1deg"},
       }) {
    const std::string error = session_->set_setting(name, value);
    EXPECT_NE(error, "") << name << "=" << value;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_NE(error.find("valid names: edge_width"), std::string::npos) << error;
  }
  EXPECT_EQ(host::read_value(*panel_, 0x8003).integer, 1);
  EXPECT_EQ(host::read_value(*panel_, 0x8009).integer, 0);
  EXPECT_EQ(host::read_value(*panel_, 0x8001).number, 0.02);
  EXPECT_EQ(host::read_value(*panel_, 0x800A).number, 0.1);
}

TEST_F(OptionsPanel, AnAssignmentWithoutEqualsSignIsRefusedWithTheNames) {
  const std::string error = session_->apply_settings({"disable_bevel"});
  EXPECT_NE(error.find("NAME=VALUE"), std::string::npos) << error;
  EXPECT_NE(error.find("out_width"), std::string::npos) << error;
}

using RefusedPanel = ModuleTest;

TEST_F(RefusedPanel, ActivationStoresNullAndTheHostHoldsNoPanel) {
  LWInstanceFuncs inst{};
  LWItemFuncs item{};
  LWRenderFuncs rend{};
  LWShaderHandler handler{&inst, &item, &rend, nullptr, nullptr};
  ASSERT_EQ(module_->activate("ShaderHandler", 4, &handler), 0);
  LWError error = nullptr;
  LWInstance instance = inst.create(nullptr, nullptr, &error);
  ASSERT_NE(instance, nullptr);

  const std::size_t panels_before = host::live_panel_count();
  host::set_xpanel_refuse_create(true);
  LWInterface ui{};
  std::memset(static_cast<void *>(&ui), 0x5A, sizeof ui);
  ui.inst = instance;
  EXPECT_EQ(module_->activate("ShaderInterface", 4, &ui), 0);
  EXPECT_EQ(ui.panel, nullptr);
  EXPECT_EQ(ui.options, nullptr);
  EXPECT_EQ(ui.command, nullptr);
  EXPECT_EQ(host::live_panel_count(), panels_before);
  host::set_xpanel_refuse_create(false);
  inst.destroy(instance);
}

TEST_F(RefusedPanel, ASessionWithoutAPanelCannotSetByName) {
  host::set_xpanel_refuse_create(true);
  std::string error;
  auto session = host::ShaderSession::open(host::default_module_path(), error);
  ASSERT_NE(session, nullptr) << error;
  EXPECT_EQ(session->panel(), nullptr);
  EXPECT_NE(session->set_setting("edge_width", "1"), "");
  EXPECT_TRUE(session->setting_names().empty());
}

}  // namespace
}  // namespace korv::testing
