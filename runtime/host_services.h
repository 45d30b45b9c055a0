// References to the host services the module uses, one place per service.
// They are written only by the activations and read everywhere else.
#pragma once

#include <atomic>

#include "hostapi/lwmeshes.h"
#include "hostapi/lwnodes.h"
#include "hostapi/lwxpanel.h"

namespace korv {

// "LW Object Info 3", or null when the host offers none. An activation may
// replace it while render threads read it, so it is an atomic: each
// evaluation loads it once (relaxed: the host's record itself was made before
// any render thread started) and hands that value to its query, so that
// nothing can turn it null between the check and the call.
extern std::atomic<LWObjectInfo *> object_info;
// "LWXPanel", or null.
extern LWXPanelFuncs *xpanel_funcs;
// The node's port services ("NodeInputFuncs 5", "NodeOutputFuncs 4"), or
// null. Only the edge node's activation writes them, and a host may activate
// another node while render threads read them: atomics, as object_info.
extern std::atomic<LWNodeInputFuncs *> node_input_funcs;
extern std::atomic<LWNodeOutputFuncs *> node_output_funcs;

// The object-info service as it is now, for one evaluation.
inline LWObjectInfo *current_object_info() {
  return object_info.load(std::memory_order_relaxed);
}

inline bool object_info_available() {
  return current_object_info() != nullptr;
}

}  // namespace korv
