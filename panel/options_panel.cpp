#include "panel/options_panel.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "edges/edge_kind.h"
#include "runtime/host_services.h"

namespace korv {

namespace {

constexpr char kTitle[] = "Brellmoor version 0.40 Options";
constexpr char kShapePage[] = "Shape";
constexpr char kMiscPage[] = "Misc";

constexpr const char *control_class(SettingKind kind) {
  switch (kind) {
    case SettingKind::Length:
      return "float";
    case SettingKind::Angle:
      return "angle";
    case SettingKind::Toggle:
      return "iBoolean";
    case SettingKind::Choice:
      return "iPopChoice";
  }
  return nullptr;
}

constexpr const char *data_type(SettingKind kind) {
  switch (kind) {
    case SettingKind::Length:
      return "float";
    case SettingKind::Angle:
      return "angle";
    case SettingKind::Toggle:
    case SettingKind::Choice:
      return "integer";
  }
  return nullptr;
}

const SettingInfo *setting_for_id(std::uint32_t id) {
  for (const SettingInfo &info : kSettings) {
    if (info.id == id) {
      return &info;
    }
  }
  return nullptr;
}

// A hint word holding a number, and one holding the address of constant data.
LWXPanelHint word(std::uintptr_t value) {
  return reinterpret_cast<LWXPanelHint>(value);
}
LWXPanelHint ref(const void *data) {
  return const_cast<void *>(data);
}

constexpr LWXPanelControl control_row(const SettingInfo &info) {
  return {info.id, info.label, control_class(info.kind)};
}

// The node's Edge output follows out_width, so the node labels it so.
constexpr LWXPanelControl node_control_row(const SettingInfo &info) {
  LWXPanelControl row = control_row(info);
  if (info.id == kSettings[setting_index("out_width")].id) {
    row.label = kNodeOutWidthLabel;
  }
  return row;
}

constexpr LWXPanelDataDesc data_row(const SettingInfo &info) {
  return {info.id, info.name, data_type(info.kind)};
}

constexpr bool every_setting(const SettingInfo & /*info*/) {
  return true;
}

// One row per setting that keep chooses, in settings order, then the zero row.
template <std::size_t N, class Row>
constexpr std::array<Row, N + 1> setting_rows(Row (*make)(const SettingInfo &),
                                              bool (*keep)(const SettingInfo &)) {
  std::array<Row, N + 1> rows{};
  std::size_t n = 0;
  for (const SettingInfo &info : kSettings) {
    if (keep(info)) {
      rows[n++] = make(info);
    }
  }
  return rows;
}

std::uintptr_t number(LWXPanelHint word) {
  return reinterpret_cast<std::uintptr_t>(word);
}

// Whether the node's panel may name an id: any that is not a setting's, and
// the settings it offers.
bool node_names(std::uintptr_t id) {
  const SettingInfo *info = id > UINT32_MAX ? nullptr : setting_for_id(std::uint32_t(id));
  return info == nullptr || node_offers(*info);
}

// Copies a hint array into out without what concerns settings the node does
// not offer: a hint whose first word names one is left out, such ids are
// taken out of every id list, and a hint whose list is left empty goes too.
// A tag says how many words follow it (its low 7 bits) and whether a list of
// ids ended by a zero word comes after them (bit 0x80). Returns the words
// written, the closing zero included.
unsigned node_hints(const LWXPanelHint *in, LWXPanelHint *out) {
  unsigned n = 0;
  for (std::uintptr_t tag; (tag = number(*in++)) != 0;) {
    const unsigned start = n;
    const std::uintptr_t fixed = tag & 0x7F;
    const bool named = fixed == 0 || node_names(number(in[0]));
    out[n++] = word(tag);
    for (std::uintptr_t i = 0; i < fixed; ++i) {
      out[n++] = *in++;
    }
    bool listed = true;
    if ((tag & 0x80) != 0) {
      listed = false;
      for (; number(*in) != 0; ++in) {
        if (node_names(number(*in))) {
          out[n++] = *in;
          listed = true;
        }
      }
      out[n++] = *in++;
    }
    if (!named || !listed) {
      n = start;
    }
  }
  out[n++] = word(0);
  return n;
}

}  // namespace

// The tables are made from the settings list, as constants, so that they
// exist before anything in the module runs; the node's keep the settings it
// offers.
constinit std::array<LWXPanelControl, kSettingCount + 1> panel_controls =
    setting_rows<kSettingCount>(control_row, every_setting);
constinit std::array<LWXPanelDataDesc, kSettingCount + 1> panel_data =
    setting_rows<kSettingCount>(data_row, every_setting);
constinit std::array<LWXPanelControl, kNodeSettingCount + 1> node_panel_controls =
    setting_rows<kNodeSettingCount>(node_control_row, node_offers);
constinit std::array<LWXPanelDataDesc, kNodeSettingCount + 1> node_panel_data =
    setting_rows<kNodeSettingCount>(data_row, node_offers);

// The choice's position is the stored out_channel value.
// clang-format off
const char *const panel_channel_choices[9] = {
    "None", "Luminosity", "Diffuse", "Specularity", "Reflection", "Transparency", "Translucency",
    "Gradient bump input", nullptr,
};
// clang-format on

// The choice's position is the stored edge_kind value.
const char *const panel_edge_kind_choices[4] = {
    "Both",
    "Outside (convex)",
    "Inside (concave)",
    nullptr,
};
static_assert(std::size(panel_edge_kind_choices) == kEdgeKindCount + 1);

// The choice's position is the stored out_mode value.
const char *const panel_out_mode_choices[4] = {
    "Replace",
    "Multiply",
    "Multiply by inverse",
    nullptr,
};

// Indexed by the value of "disable bevel effect": 0 enables, 1 disables.
const int panel_enable_map[2] = {1, 0};

// One hint per line: the tag, then its words. The layout is the table's own,
// so the formatter leaves it alone.
// clang-format off
LWXPanelHint panel_hints[] = {
    // The title.
    word(XPTAG_LABEL), word(0), ref(kTitle), word(0),
    // The popups' choices.
    word(XPTAG_STRLIST), word(0x8009), ref(panel_channel_choices), word(0),
    word(XPTAG_STRLIST), word(kEdgeKindId), ref(panel_edge_kind_choices), word(0),
    word(XPTAG_STRLIST), word(kOutModeId), ref(panel_out_mode_choices), word(0),
    // Groups 1 to 3.
    word(XPTAG_GROUP), word(1), word(0x8001), word(0x8002), word(0x8006), word(0x8007), word(0),
    word(XPTAG_GROUP), word(2), word(0x8003), word(0x8004), word(0x8005), word(kCornerBlendId),
        word(kCrossPolygonsId), word(kEdgeKindId), word(0),
    word(XPTAG_GROUP), word(3), word(0x8009), word(0x800A), word(kOutModeId), word(0x8008), word(0),
    // Enable links: controlling id, two zero words, the enable map (or 0); the dependents.
    word(XPTAG_ENABLE), word(0x8003), word(0), word(0), word(0), word(0x8004), word(0),
    word(XPTAG_ENABLE), word(0x8009), word(0), word(0), word(0), word(0x800A), word(kOutModeId),
        word(0),
    word(XPTAG_ENABLE), word(0x8008), word(0), word(0), ref(panel_enable_map),
        word(0x8001), word(0x8003), word(0x8004), word(0x8005), word(kCornerBlendId), word(0),
    // The pages with their groups and labels, then the tab set.
    word(XPTAG_GROUP), word(kShapePageId), word(2), word(0),
    word(XPTAG_GROUP), word(kMiscPageId), word(3), word(0),
    word(XPTAG_LABEL), word(kShapePageId), ref(kShapePage), word(0),
    word(XPTAG_LABEL), word(kMiscPageId), ref(kMiscPage), word(0),
    word(XPTAG_TABS), word(kTabSetId), word(kShapePageId), word(kMiscPageId), word(0),
    // The host's own hint on the two widths.
    word(XPTAG_MIN), word(0x8001), word(0),
    word(XPTAG_MIN), word(0x800A), word(0),
    // The end of the list.
    word(0),
};
// clang-format on

const unsigned panel_hint_count = sizeof panel_hints / sizeof panel_hints[0];

// Filtered once as the module loads, after the shader's list above (which
// holds addresses, so it cannot be a constant either).
LWXPanelHint node_panel_hints[sizeof panel_hints / sizeof panel_hints[0]];
const unsigned node_panel_hint_count = node_hints(panel_hints, node_panel_hints);

LWXPanelID build_options_panel(EdgeInstance *inst, bool node) {
  LWXPanelFuncs *xpanel = xpanel_funcs;
  if (xpanel == nullptr) {
    return nullptr;
  }
  LWXPanelID panel =
      xpanel->create(LWXP_VIEW, node ? node_panel_controls.data() : panel_controls.data());
  if (panel == nullptr) {
    return nullptr;
  }
  xpanel->hint(panel, 0, node ? node_panel_hints : panel_hints);
  xpanel->describe(panel, node ? node_panel_data.data() : panel_data.data(), panel_get, panel_set);
  xpanel->viewInst(panel, inst);
  xpanel->setData(panel, 0, inst);
  return panel;
}

void *options_get(void *inst, std::uint32_t id) {
  const SettingInfo *info = setting_for_id(id);
  if (info == nullptr || inst == nullptr) {
    return nullptr;
  }
  return setting_address(*static_cast<EdgeInstance *>(inst), *info);
}

LWXPRefreshCode options_set(void *inst, std::uint32_t id, void *value) {
  const SettingInfo *info = setting_for_id(id);
  if (info == nullptr || inst == nullptr || value == nullptr) {
    return LWXPRF_NONE;
  }
  // Under the render lock, which a preview rendering meanwhile honours: its
  // samples see the value before or after, never half of it, and a changed
  // value empties the cache so that every object is built again with it.
  write_setting(*static_cast<EdgeInstance *>(inst), *info, value,
                is_double(info->kind) ? sizeof(double) : sizeof(std::int32_t));
  return LWXPRF_DFLT;
}

}  // namespace korv
