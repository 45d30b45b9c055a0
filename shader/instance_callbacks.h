// The shader's host callbacks other than load, save and evaluate. Each is a
// plain function taking the instance first. The activation hands them to the
// host behind the host boundary (runtime/host_boundary.h): an exception from
// the render lock never reaches the host.
#pragma once

#include "hostapi/lwshader.h"
#include "shader/edge_shader_instance.h"

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
unsigned int instance_flags(LWInstance inst);

// The flag bits for an output channel setting (the normal bit always set).
unsigned int flags_for_channel(int out_channel);

}  // namespace korv
