#include "runtime/host_services.h"

namespace korv {

std::atomic<LWObjectInfo *> object_info{nullptr};
LWXPanelFuncs *xpanel_funcs = nullptr;
std::atomic<LWNodeInputFuncs *> node_input_funcs{nullptr};
std::atomic<LWNodeOutputFuncs *> node_output_funcs{nullptr};

}  // namespace korv
