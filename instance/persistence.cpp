#include "instance/persistence.h"

namespace korv {

namespace {

// The table without the settings a front does not store: the entries kept
// move up and the end marker follows them.
void keep_stored(std::array<ParamDescriptor, kSettingCount + 1> &table, StoredSetting stored) {
  if (stored == nullptr) {
    return;
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (stored(kSettings[i])) {
      table[kept++] = table[i];
    }
  }
  table[kept] = {};
}

}  // namespace

std::array<ParamDescriptor, kSettingCount + 1> settings_param_table(EdgeInstance &inst) {
  std::array<ParamDescriptor, kSettingCount + 1> table{};
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const SettingInfo &info = kSettings[i];
    table[i] = {
        info.name, is_double(info.kind) ? PDBL : PINT, setting_address(inst, info), 1, nullptr,
        nullptr};
  }
  table[kSettingCount] = {};
  return table;
}

LWError load_settings(EdgeInstance &inst, const LWLoadState *state, StoredSetting stored) {
  // The settings are read into a copy and put in place at once under the
  // render lock, which a sample holds while it copies them (and a changed
  // set empties the cache); the host's reading functions are not called with
  // the lock held. A field that a damaged block does not deliver whole (or
  // that memory does not allow to be read) keeps the value it had.
  EdgeInstance loaded = inst;
  int version = 0;
  state->readI4(state->readData, &version, 1);
  if (version != kSettingsVersion) {
    return nullptr;
  }
  // Corner blending is on for new instances, but a scene written before it
  // existed must render as it did: a scene that holds no block for it leaves
  // it off. Only a stored block turns it on again.
  loaded.corner_blend = 0;
  auto table = settings_param_table(loaded);
  keep_stored(table, stored);
  load_param_table(state, table.data());
  replace_settings(inst, loaded);
  return nullptr;
}

LWError save_settings(EdgeInstance &inst, const LWSaveState *state, StoredSetting stored) {
  const int version = kSettingsVersion;
  state->writeI4(state->writeData, &version, 1);
  auto table = settings_param_table(inst);
  keep_stored(table, stored);
  save_param_table(state, table.data());
  return nullptr;
}

LWError instance_load(LWInstance inst, const LWLoadState *state) {
  if (inst == nullptr || state == nullptr) {
    return nullptr;
  }
  return load_settings(*static_cast<EdgeInstance *>(inst), state, nullptr);
}

LWError instance_save(LWInstance inst, const LWSaveState *state) {
  if (inst == nullptr || state == nullptr) {
    return nullptr;
  }
  return save_settings(*static_cast<EdgeInstance *>(inst), state, nullptr);
}

}  // namespace korv
