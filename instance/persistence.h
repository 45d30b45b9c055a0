// Saving an instance's settings with the scene and loading them back.
//
// The stored form is the version 256 (one I4) followed by the parameter
// library's block holding every setting by name: lengths and angles as
// PDBL, toggles and choices as PINT. Both callbacks return null in every case;
// the host is given them behind the host boundary (runtime/host_boundary.h),
// which keeps any exception from reaching it.
#pragma once

#include <array>

#include "hostapi/lwio.h"
#include "hostapi/lwtypes.h"
#include "instance/edge_instance.h"
#include "instance/param_library.h"

namespace korv {

inline constexpr int kSettingsVersion = 256;

// The parameter table of every setting, pointing into inst, ended by a null name.
// Built from the settings list, so every setting is saved and loaded.
std::array<ParamDescriptor, kSettingCount + 1> settings_param_table(EdgeInstance &inst);

// Which settings a front stores: the shader all of them, the edge node all
// but those that choose or combine a channel. Null keeps every setting.
using StoredSetting = bool (*)(const SettingInfo &info);

// The load and save of either front's record: the same version word and named blocks, restricted to
// the settings stored chooses.
LWError load_settings(EdgeInstance &inst, const LWLoadState *state, StoredSetting stored);
LWError save_settings(EdgeInstance &inst, const LWSaveState *state, StoredSetting stored);

// The shader's load and save, which store every setting. Loads only when
// the stored version is 256; fields that no stored block names keep their
// values.
LWError instance_load(LWInstance inst, const LWLoadState *state);
LWError instance_save(LWInstance inst, const LWSaveState *state);

}  // namespace korv
