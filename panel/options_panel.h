// The options panel: constant tables the host draws from, and the get and
// set callbacks through which the host reads and writes an instance's fields
// in place. The host owns every panel once it is built.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "hostapi/lwxpanel.h"
#include "instance/edge_instance.h"
#include "runtime/host_boundary.h"

namespace korv {

// The settings' ids (control id = data id) come with the settings list; the
// tab set and its pages have ids of their own between them.
inline constexpr std::uint32_t kTabSetId = 0x800B;
inline constexpr std::uint32_t kShapePageId = 0x800C;
inline constexpr std::uint32_t kMiscPageId = 0x800D;
inline constexpr std::uint32_t kCrossPolygonsId = kSettings[setting_index("cross_polygons")].id;
inline constexpr std::uint32_t kEdgeKindId = kSettings[setting_index("edge_kind")].id;
inline constexpr std::uint32_t kOutModeId = kSettings[setting_index("out_mode")].id;
inline constexpr std::uint32_t kCornerBlendId = kSettings[setting_index("corner_blend")].id;

// The settings the edge node offers, in its panel and its scene blocks: all
// but the bevel switch and those that choose or combine the channel output
// (the node hands its mask to whatever the artist connects instead).
constexpr bool node_offers(const SettingInfo &info) {
  return info.id != kSettings[setting_index("disable_bevel")].id &&
         info.id != kSettings[setting_index("out_channel")].id && info.id != kOutModeId;
}
inline constexpr std::size_t kNodeSettingCount = [] {
  std::size_t count = 0;
  for (const SettingInfo &info : kSettings) {
    count += node_offers(info) ? 1 : 0;
  }
  return count;
}();

// The node's label of out_width, which its Edge output follows; the
// shader's label stays as scenes and artists know it.
inline constexpr char kNodeOutWidthLabel[] = "Edge output width:";

// Tables shared by every panel of the shader; each table is closed by a zero row.
extern std::array<LWXPanelControl, kSettingCount + 1> panel_controls;
extern std::array<LWXPanelDataDesc, kSettingCount + 1> panel_data;
extern const char *const panel_channel_choices[9];
extern const char *const panel_edge_kind_choices[4];
extern const char *const panel_out_mode_choices[4];
extern const int panel_enable_map[2];
extern LWXPanelHint panel_hints[];
extern const unsigned panel_hint_count;  // words, the final zero included

// The edge node's tables: the shader's, with the settings the node does not
// offer taken out (from every hint's id list too, and every hint about one
// of them), and out_width labelled for the node.
extern std::array<LWXPanelControl, kNodeSettingCount + 1> node_panel_controls;
extern std::array<LWXPanelDataDesc, kNodeSettingCount + 1> node_panel_data;
extern LWXPanelHint node_panel_hints[];
extern const unsigned node_panel_hint_count;  // words, the final zero included

// Creates, describes and binds the panel for inst through the host's XPanel
// service: the shader's, or with node the edge node's. Null when the host
// refuses to create it.
LWXPanelID build_options_panel(EdgeInstance *inst, bool node = false);

// The host's get callback: the address of the id's field, or null for an id
// outside the table (and for a null instance).
void *options_get(void *inst, std::uint32_t id);

// The host's set callback: copies the value (8 bytes for doubles, 4 for ints)
// into the id's field, unchecked, under the render lock held exclusively
// (emptying the cache when the value changed), and returns 1 (LWXPRF_DFLT). An unknown id,
// a null instance or a null value address stores nothing and returns 0
// (LWXPRF_NONE).
LWXPRefreshCode options_set(void *inst, std::uint32_t id, void *value);

// The two callbacks as the panel hands them to the host: behind the host
// boundary, which answers null and LWXPRF_NONE should either ever throw.
inline constexpr LWXPanelGetFunc *panel_get = host_callback<options_get, nullptr>;
inline constexpr LWXPanelSetFunc *panel_set = host_callback<options_set, LWXPRF_NONE>;

}  // namespace korv
