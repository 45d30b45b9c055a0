#include "module/host_services.h"

namespace korv {

LWObjectInfo *object_info = nullptr;
LWXPanelFuncs *xpanel_funcs = nullptr;

}  // namespace korv
