#include "node/node_callbacks.h"

#include "instance/life_cycle.h"
#include "instance/persistence.h"
#include "panel/options_panel.h"
#include "runtime/host_services.h"
#include "runtime/render_lock.h"

namespace korv {

namespace {

EdgeNodeInstance *as_node(LWInstance inst) {
  return static_cast<EdgeNodeInstance *>(inst);
}

// The input's events need no answer: whether something is connected is
// asked per sample.
int normal_input_event(void * /*data*/, NodeInputID /*input*/, LWNodalEvent /*event*/,
                       ConnectionType /*type*/) {
  return 0;
}

}  // namespace

LWInstance node_create(void * /*priv*/, void *context, LWError * /*error*/) {
  LWNodeInputFuncs *inputs = node_input_funcs.load(std::memory_order_relaxed);
  LWNodeOutputFuncs *outputs = node_output_funcs.load(std::memory_order_relaxed);
  if (inputs == nullptr || outputs == nullptr) {
    return nullptr;
  }
  auto *node = new EdgeNodeInstance;
  if (node == nullptr) {
    return nullptr;
  }
  set_default_settings(node->core);
  node->core.context = context;
  node->core.cache = create_edge_cache();
  forget_matrix_readings(node->readings);
  for (SampleMemo &memo : node->memos) {
    memo.kept = false;
  }
  if (node->core.cache == nullptr) {
    delete node;
    return nullptr;
  }
  auto *id = static_cast<NodeID>(context);
  node->normal_in = inputs->create(id, NOT_VECTOR, kNormalPort, normal_input_event);
  node->normal_out = outputs->create(id, NOT_VECTOR, kNormalPort);
  node->edge_out = outputs->create(id, NOT_SCALAR, kEdgePort);
  node->distance_out = outputs->create(id, NOT_SCALAR, kDistancePort);
  // A node without one of its outputs could never give it, and the host
  // would show a node that does nothing there: no instance, and the ports
  // it did make go back, as the node will not be destroyed with them.
  if (node->normal_in == nullptr || node->normal_out == nullptr || node->edge_out == nullptr ||
      node->distance_out == nullptr) {
    if (node->normal_in != nullptr && inputs->destroy != nullptr) {
      inputs->destroy(node->normal_in);
    }
    for (NodeOutputID made : {node->normal_out, node->edge_out, node->distance_out}) {
      if (made != nullptr && outputs->destroy != nullptr) {
        outputs->destroy(made);
      }
    }
    destroy_edge_cache(node->core.cache);
    delete node;
    return nullptr;
  }
  return node;
}

void node_destroy(LWInstance inst) {
  EdgeNodeInstance *node = as_node(inst);
  if (node == nullptr) {
    return;
  }
  {
    RenderLockGuard lock;
    destroy_edge_cache(node->core.cache);
    node->core.cache = nullptr;
  }
  delete node;
}

LWError node_copy(LWInstance to, LWInstance from) {
  // The settings and a fresh cache, by the shared copy; each node keeps
  // its own ports and its own matrix reading (the same host's).
  return instance_copy(&as_node(to)->core, &as_node(from)->core);
}

const char *node_descln(LWInstance inst) {
  return instance_descln(&as_node(inst)->core);
}

LWError node_load(LWInstance inst, const LWLoadState *state) {
  if (inst == nullptr || state == nullptr) {
    return nullptr;
  }
  return load_settings(as_node(inst)->core, state, node_offers);
}

LWError node_save(LWInstance inst, const LWSaveState *state) {
  if (inst == nullptr || state == nullptr) {
    return nullptr;
  }
  return save_settings(as_node(inst)->core, state, node_offers);
}

LWError node_init(LWInstance inst, int mode) {
  return instance_init(&as_node(inst)->core, mode);
}

void node_cleanup(LWInstance inst) {
  instance_cleanup(&as_node(inst)->core);
}

LWError node_new_time(LWInstance inst, LWFrame frame, LWTime time) {
  return instance_new_time(&as_node(inst)->core, frame, time);
}

unsigned int node_flags(LWInstance /*inst*/) {
  // Neither transparent nor single-threaded: render threads evaluate in
  // parallel, as with the shader.
  return 0;
}

}  // namespace korv
