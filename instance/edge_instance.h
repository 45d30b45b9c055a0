// The instance record both fronts share: the shader's instance is one, and
// the edge node holds one inside its own. Its settings, its cache and its
// life cycle are the same for both; only what a front does with a sample
// differs.
//
// The host owns an instance between its create and destroy callbacks. The
// instance owns its cache (and through it every edge database); no cache is
// ever shared between instances.
//
// Who reads and writes the settings, and under what: the host's interface
// callbacks write them (the panel's set, load, copy), each holding the render
// lock exclusively, and each write that changes a value empties the cache, so
// that every database is built from the settings of its moment and a change
// reaches every object through a rebuild. A shading sample copies them once,
// under the render lock it holds shared for its query anyway, and works from
// that copy alone: every setting a sample uses comes from one consistent set,
// and no lock is added per sample. The other interface callbacks (save, flags,
// the panel's get) read them without the lock, on the host's interface
// thread, which is the one that writes them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "edges/edge_records.h"
#include "edges/settings.h"
#include "runtime/checked_memory.h"

namespace korv {

inline constexpr std::size_t kDescriptionSize = 128;

// A plain record, so that the panel and the scene file can address its
// settings; they are its first bytes (the EdgeSettings base).
struct EdgeInstance : EdgeSettings {
  char description[kDescriptionSize];
  void *context;     // the host's value, stored and never interpreted
  EdgeCache *cache;  // owned; null only when it could not be allocated

  // new gives null, never a throw, when memory runs out.
  static void *operator new(std::size_t size) noexcept { return NoThrowNew::operator new(size); }
  static void operator delete(void *block) noexcept { NoThrowNew::operator delete(block); }
};

// The settings in field order.
inline constexpr std::array<SettingInfo, kSettingCount> kSettings = {{
#define KORV_INFO(field, type, kind, value, id, label) \
  {#field, SettingKind::kind, offsetof(EdgeSettings, field), id, label},
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

#define KORV_CHECK_TYPE(field, type, kind, value, id, label)                    \
  static_assert(is_double(SettingKind::kind) ? sizeof(EdgeSettings::field) == 8 \
                                             : sizeof(EdgeSettings::field) == 4);
KORV_EDGE_SETTINGS(KORV_CHECK_TYPE)
#undef KORV_CHECK_TYPE

// Sets every setting to its default.
void set_default_settings(EdgeInstance &inst);

// The address of a setting's field within a set of settings (an instance's
// own, or a copy).
inline void *setting_address(EdgeSettings &settings, const SettingInfo &info) {
  return reinterpret_cast<char *>(&settings) + info.offset;
}

// The writes of the host's interface callbacks, under the render lock held
// exclusively. Each empties the instance's cache when it changes a value.
// Writes size bytes of value into the setting's field (the panel's set).
void write_setting(EdgeInstance &inst, const SettingInfo &info, const void *value,
                   std::size_t size);
// Puts every setting of settings in place at once (load).
void replace_settings(EdgeInstance &inst, const EdgeSettings &settings);

}  // namespace korv
