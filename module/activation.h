// The activation functions of the module's two servers.
#pragma once

#include <cstdint>

#include "hostapi/lwmodule.h"

namespace korv {

// Fills the host's LWShaderHandler record and looks up "LW Object Info 3".
int activate_shader_handler(std::int32_t version, GlobalFunc *global, void *local,
                            void *server_data);

// Builds the options panel for the LWInterface record's instance.
int activate_shader_interface(std::int32_t version, GlobalFunc *global, void *local,
                              void *server_data);

}  // namespace korv
