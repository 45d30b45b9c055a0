// The edge node's host callbacks. Each is a plain function taking the
// instance first; the activation hands them to the host behind the host
// boundary (runtime/host_boundary.h).
#pragma once

#include "hostapi/lwio.h"
#include "hostapi/lwnodes.h"
#include "node/node_instance.h"

namespace korv {

// The ports' names, as the Node Editor shows them.
inline constexpr char kNormalPort[] = "Normal";
inline constexpr char kEdgePort[] = "Edge";
inline constexpr char kDistancePort[] = "Distance";

// context is the node's NodeID: the ports are made on it. Null when memory
// or a port cannot be had.
LWInstance node_create(void *priv, void *context, LWError *error);
void node_destroy(LWInstance inst);
LWError node_copy(LWInstance to, LWInstance from);
const char *node_descln(LWInstance inst);
LWError node_load(LWInstance inst, const LWLoadState *state);
LWError node_save(LWInstance inst, const LWSaveState *state);
LWError node_init(LWInstance inst, int mode);
void node_cleanup(LWInstance inst);
LWError node_new_time(LWInstance inst, LWFrame frame, LWTime time);
unsigned int node_flags(LWInstance inst);

// The value of one output for one sample, from several render threads at
// once. Writes through the output service's setValue only; nothing is
// allocated.
void node_evaluate(LWInstance inst, LWShadingGeometry *sample, NodeOutputID output,
                   NodeValue value);

}  // namespace korv
