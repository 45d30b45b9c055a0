// The settings record of one shader instance.
//
// The host owns an instance between its create and destroy callbacks. The
// instance owns its cache (and through it every edge database); no cache is
// ever shared between instances.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "edges/edge_records.h"
#include "shader/settings.h"

namespace korv {

inline constexpr std::size_t kDescriptionSize = 128;

// A plain record, so that the panel and the scene file can address its fields.
struct EdgeShaderInstance {
#define KORV_FIELD(field, type, kind, value, id, label) type field;
  KORV_EDGE_SETTINGS(KORV_FIELD)
#undef KORV_FIELD
  char description[kDescriptionSize];
  void *context;     // the host's value, stored and never interpreted
  EdgeCache *cache;  // owned; null only when it could not be allocated
};

// The settings in field order.
inline constexpr std::array<SettingInfo, kSettingCount> kSettings = {{
#define KORV_INFO(field, type, kind, value, id, label) \
  {#field, SettingKind::kind, offsetof(EdgeShaderInstance, field), id, label},
    KORV_EDGE_SETTINGS(KORV_INFO)
#undef KORV_INFO
}};

// The position of the setting named name in kSettings. Evaluated only while
// compiling: a name that is not in the settings list is not a constant, so
// a table written with a misspelt name fails to compile instead of taking
// another setting's row.
consteval std::size_t setting_index(std::string_view name) {
  for (std::size_t i = 0; i < kSettings.size(); ++i) {
    if (name == kSettings[i].name) {
      return i;
    }
  }
  throw "setting_index: no setting of this name";
}

#define KORV_CHECK_TYPE(field, type, kind, value, id, label)                          \
  static_assert(is_double(SettingKind::kind) ? sizeof(EdgeShaderInstance::field) == 8 \
                                             : sizeof(EdgeShaderInstance::field) == 4);
KORV_EDGE_SETTINGS(KORV_CHECK_TYPE)
#undef KORV_CHECK_TYPE

// Sets every setting to its default.
void set_default_settings(EdgeShaderInstance &inst);

// The address of a setting's field within an instance.
inline void *setting_address(EdgeShaderInstance &inst, const SettingInfo &info) {
  return reinterpret_cast<char *>(&inst) + info.offset;
}

}  // namespace korv
