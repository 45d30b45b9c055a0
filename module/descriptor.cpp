// The module's only export: the descriptor the host reads after loading the
// module file, with the list of the two servers it offers. Every build of
// the module proves here that the host records it exchanges have the host's
// layout.
#include <cstdint>

#include "hostapi/layout_checks.h"
#include "hostapi/lwmodule.h"
#include "hostapi/lwshader.h"
#include "module/activation.h"
#include "runtime/host_boundary.h"

#if defined(_WIN32)
#define KORV_EXPORT __declspec(dllexport)
#else
#define KORV_EXPORT __attribute__((visibility("default")))
#endif

namespace {

constexpr char kServerName[] = "Korv_Edge";

void *module_startup() {
  // The host only needs a non-null value here.
  return reinterpret_cast<void *>(std::uintptr_t{4});
}

void module_shutdown(void * /*server_data*/) {}

// An activation that throws (a host service that throws while the panel is
// built) refuses the server instead of unwinding into the host.
ServerRecord server_list[] = {
    {LWSHADER_HCLASS, kServerName, korv::host_callback<korv::activate_shader_handler, AFUNC_BADAPP>,
     nullptr},
    {LWSHADER_ICLASS, kServerName,
     korv::host_callback<korv::activate_shader_interface, AFUNC_BADAPP>, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern "C" {
KORV_EXPORT ModuleDescriptor _mod_descrip = {
    MOD_SYSSYNC, MOD_SYSVER, MOD_MACHINE, module_startup, module_shutdown, server_list,
};
}
