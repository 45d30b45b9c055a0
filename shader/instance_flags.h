// The shader's flags callback: which fields of the shading record it writes.
// The activation hands it to the host behind the host boundary
// (runtime/host_boundary.h).
#pragma once

#include "hostapi/lwtypes.h"

namespace korv {

unsigned int instance_flags(LWInstance inst);

// The flag bits for an output channel setting (the normal bit always set).
unsigned int flags_for_channel(int out_channel);

}  // namespace korv
