// The settings of an instance, written once. The instance's fields, their
// defaults, the scene-file parameter table and the panel's tables are all
// derived from this list, so a setting cannot be half-added. They are the
// input of the edge build, the query and the evaluation, which is why the
// list lives with them and not with a front.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace korv {

inline constexpr double kPi = 3.14159265358979323846;

// How a setting is stored and shown. Lengths and angles are doubles (angles in
// radians); toggles and choices are 32-bit ints, on when non-zero.
enum class SettingKind { Length, Angle, Toggle, Choice };

constexpr bool is_double(SettingKind kind) {
  return kind == SettingKind::Length || kind == SettingKind::Angle;
}

// X(field, C type, kind, default, panel id, panel label). The order is the
// field order of the instance and the order of the panel's tables. A panel id
// serves as both control and data id; 0x800B to 0x800D name the panel's tab
// set and pages, so the settings added later continue after them.
#define KORV_EDGE_SETTINGS(X)                                                        \
  X(edge_width, double, Length, 0.02, 0x8001, "Edge width [m]:")                     \
  X(edge_dangle, double, Angle, 89.5 * kPi / 180.0, 0x8002, "Edge detection angle:") \
  X(smooth_edge, std::int32_t, Toggle, 1, 0x8003, "edge smoothing")                  \
  X(smooth_cos, double, Angle, kPi / 4.0, 0x8004, "Edge smoothing angle:")           \
  X(round_edge, std::int32_t, Toggle, 1, 0x8005, "edge rounding")                    \
  X(open_edge, std::int32_t, Toggle, 0, 0x8006, "detect open edges")                 \
  X(use_deform, std::int32_t, Toggle, 0, 0x8007, "scan deformed object")             \
  X(disable_bevel, std::int32_t, Toggle, 0, 0x8008, "disable bevel effect")          \
  X(out_channel, std::int32_t, Choice, 0, 0x8009, "Edge output channel:")            \
  X(out_width, double, Length, 0.1, 0x800A, "Channel output widht:")                 \
  X(cross_polygons, std::int32_t, Toggle, 0, 0x800E, "band crosses polygons")        \
  X(edge_kind, std::int32_t, Choice, 0, 0x800F, "Edges:")                            \
  X(out_mode, std::int32_t, Choice, 0, 0x8010, "Channel output mode:")               \
  X(corner_blend, std::int32_t, Toggle, 1, 0x8011, "Blend corners")

// One set of the settings as plain values, one field per setting in list
// order. An instance is one (it derives from it), and each shading sample
// works from its own copy, taken once by its query (see EdgeSource).
struct EdgeSettings {
#define KORV_FIELD(field, type, kind, value, id, label) type field;
  KORV_EDGE_SETTINGS(KORV_FIELD)
#undef KORV_FIELD
};

// True when every setting of a and b holds the same bits (a NaN equals the
// same NaN): whether a write changed anything.
bool same_settings(const EdgeSettings &a, const EdgeSettings &b);

struct SettingInfo {
  const char *name;  // field name, scene-file key and panel data name
  SettingKind kind;
  std::size_t offset;  // of the field within EdgeSettings
  std::uint32_t id;    // panel control and data id
  const char *label;   // panel label
};

// The number of settings, counted from the list.
#define KORV_COUNT_SETTING(field, type, kind, value, id, label) +1
inline constexpr std::size_t kSettingCount = 0 KORV_EDGE_SETTINGS(KORV_COUNT_SETTING);
#undef KORV_COUNT_SETTING

}  // namespace korv
