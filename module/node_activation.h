// The activation functions of the edge node module's two servers.
#pragma once

#include <cstdint>

#include "hostapi/lwmodule.h"

namespace korv {

// Fills the host's LWNodeHandler record (versions 4 and 5; any other,
// 2015's 3 included, is refused) and looks up the node's globals.
int activate_node_handler(std::int32_t version, GlobalFunc *global, void *local, void *server_data);

// Builds the options panel for the LWInterface record's node instance
// (versions 4 and 5).
int activate_node_interface(std::int32_t version, GlobalFunc *global, void *local,
                            void *server_data);

}  // namespace korv
