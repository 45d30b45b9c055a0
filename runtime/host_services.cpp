#include "runtime/host_services.h"

namespace korv {

std::atomic<LWObjectInfo *> object_info{nullptr};
LWXPanelFuncs *xpanel_funcs = nullptr;
LWNodeInputFuncs *node_input_funcs = nullptr;
LWNodeOutputFuncs *node_output_funcs = nullptr;

}  // namespace korv
