// The stand-in host's global function: the one entry through which a module
// looks up host services by name. Services are process-wide, as in a real host.
#pragma once

#include <string>

#include "hostapi/lwmodule.h"

namespace korv::host {

// Answers a module's lookup: the registered service, or null.
void *host_global(const char *name, int use_flags);

// Registers (or, with null, withdraws) the service answered for name.
void set_global_service(const std::string &name, void *service);

// How many times a service was asked for since the last reset.
int global_lookup_count(const std::string &name);
void reset_global_lookup_counts();

// Installs the host's own services (object info, XPanel) under their names.
void install_default_services();

}  // namespace korv::host
