// The options panel: constant tables the host draws from, and the get and
// set callbacks through which the host reads and writes an instance's fields
// in place. The host owns every panel once it is built.
#pragma once

#include <cstdint>

#include "hostapi/lwxpanel.h"
#include "runtime/host_boundary.h"
#include "shader/edge_shader_instance.h"

namespace korv {

// The settings' ids (control id = data id) come with the settings list; the
// tab set and its pages have ids of their own between them.
inline constexpr std::uint32_t kTabSetId = 0x800B;
inline constexpr std::uint32_t kShapePageId = 0x800C;
inline constexpr std::uint32_t kMiscPageId = 0x800D;
inline constexpr std::uint32_t kCrossPolygonsId = kSettings[setting_index("cross_polygons")].id;
inline constexpr std::uint32_t kEdgeKindId = kSettings[setting_index("edge_kind")].id;
inline constexpr std::uint32_t kOutModeId = kSettings[setting_index("out_mode")].id;

// Tables shared by every panel; each table is closed by a zero row.
extern LWXPanelControl panel_controls[kSettingCount + 1];
extern LWXPanelDataDesc panel_data[kSettingCount + 1];
extern const char *const panel_channel_choices[9];
extern const char *const panel_edge_kind_choices[4];
extern const char *const panel_out_mode_choices[4];
extern const int panel_enable_map[2];
extern LWXPanelHint panel_hints[];
extern const unsigned panel_hint_count;  // words, the final zero included

// Creates, describes and binds the panel for inst through the host's XPanel
// service. Null when the host refuses to create it.
LWXPanelID build_options_panel(EdgeShaderInstance *inst);

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
