// The life cycle of the instance record both fronts share: the host callbacks
// other than load, save, flags and evaluate. Each is a plain function taking
// the record first; the shader hands them to the host as they are, the edge
// node calls them with the record it holds. The activations hand them to the
// host behind the host boundary (runtime/host_boundary.h): an exception from
// the render lock never reaches the host.
#pragma once

#include "hostapi/lwtypes.h"
#include "instance/edge_instance.h"

namespace korv {

LWInstance instance_create(void *priv, void *context, LWError *error);
void instance_destroy(LWInstance inst);
LWError instance_copy(LWInstance to, LWInstance from);
const char *instance_descln(LWInstance inst);
const LWItemID *instance_use_items(LWInstance inst);
void instance_change_id(LWInstance inst, const LWItemID *ids);
LWError instance_init(LWInstance inst, int mode);
void instance_cleanup(LWInstance inst);
LWError instance_new_time(LWInstance inst, LWFrame frame, LWTime time);

}  // namespace korv
