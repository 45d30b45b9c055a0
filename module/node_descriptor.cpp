// The edge node module's only export: the descriptor of Korv_EdgeNode.p,
// with its two servers, for hosts that shade surfaces with node graphs. Every
// build of it proves that the host records it exchanges have the host's
// layout.
#include <cstdint>

#include "hostapi/layout_checks.h"
#include "hostapi/lwmodule.h"
#include "hostapi/lwnodes.h"
#include "module/node_activation.h"
#include "runtime/host_boundary.h"

#if defined(_WIN32)
#define KORV_EXPORT __declspec(dllexport)
#else
#define KORV_EXPORT __attribute__((visibility("default")))
#endif

static_assert(sizeof(void *) == 8, "the node's records exist only in 64-bit hosts");

namespace {

constexpr char kServerName[] = "Korv_Edge";

void *module_startup() {
  // The host only needs a non-null value here.
  return reinterpret_cast<void *>(std::uintptr_t{4});
}

void module_shutdown(void * /*server_data*/) {}

// The name the Node Editor lists and the group of its add menu.
ServerTagInfo server_tags[] = {
    {"Korv_Edge", SRVTAG_USERNAME},
    {"Shaders", SRVTAG_NODEGROUP},
    {nullptr, 0},
};

ServerRecord server_list[] = {
    {LWNODE_HCLASS, kServerName, korv::host_callback<korv::activate_node_handler, AFUNC_BADAPP>,
     server_tags},
    {LWNODE_ICLASS, kServerName, korv::host_callback<korv::activate_node_interface, AFUNC_BADAPP>,
     server_tags},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern "C" {
KORV_EXPORT ModuleDescriptor _mod_descrip = {
    MOD_SYSSYNC, MOD_SYSVER, MOD_MACHINE, module_startup, module_shutdown, server_list,
};
}
