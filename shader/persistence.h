// Saving an instance's settings with the scene and loading them back.
#pragma once

#include "hostapi/lwio.h"
#include "hostapi/lwtypes.h"

namespace korv {

LWError instance_load(LWInstance inst, const LWLoadState *state);
LWError instance_save(LWInstance inst, const LWSaveState *state);

}  // namespace korv
