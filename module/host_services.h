// References to the host services the module uses, one place per service.
// They are written only by the activations and read everywhere else.
#pragma once

#include "hostapi/lwmeshes.h"
#include "hostapi/lwxpanel.h"

namespace korv {

// "LW Object Info 3", or null when the host offers none.
extern LWObjectInfo *object_info;
// "LWXPanel", or null.
extern LWXPanelFuncs *xpanel_funcs;

inline bool object_info_available() {
  return object_info != nullptr;
}

}  // namespace korv
