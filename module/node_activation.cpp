#include "module/node_activation.h"

#include "hostapi/lwnodes.h"
#include "hostapi/lwxpanel.h"
#include "node/node_callbacks.h"
#include "panel/options_panel.h"
#include "runtime/host_boundary.h"
#include "runtime/host_services.h"

namespace korv {

namespace {

constexpr char kRenderStartFailed[] = "Korv_Edge: the render lock could not be taken";
constexpr char kCopyFailed[] = "Korv_Edge: the node could not be copied";
constexpr char kNoDescription[] = "";

bool known_version(std::int32_t version) {
  return version == LWNODE_VERSION || version == LWNODE_VERSION_2018;
}

// The first of the names, newest first, that the host answers; whether a
// host still answers an older name is not documented, so each is asked.
void *first_global(GlobalFunc *global, const char *const *names) {
  for (; *names != nullptr; ++names) {
    if (void *found = global(*names, GFUSE_TRANSIENT)) {
      return found;
    }
  }
  return nullptr;
}

constexpr const char *kObjectInfoNames[] = {LWOBJECTINFO_GLOBAL_2020, LWOBJECTINFO_GLOBAL_2018,
                                            LWOBJECTINFO_GLOBAL, nullptr};
constexpr const char *kXPanelNames[] = {LWXPANELFUNCS_GLOBAL_2020, LWXPANELFUNCS_GLOBAL_2018,
                                        LWXPANELFUNCS_GLOBAL, nullptr};
constexpr const char *kInputNames[] = {LWNODEINPUTFUNCS_GLOBAL, nullptr};
constexpr const char *kOutputNames[] = {LWNODEOUTPUTFUNCS_GLOBAL, nullptr};

}  // namespace

int activate_node_handler(std::int32_t version, GlobalFunc *global, void *local,
                          void * /*server_data*/) {
  if (!known_version(version)) {
    return AFUNC_BADVERSION;
  }
  auto *inputs = static_cast<LWNodeInputFuncs *>(first_global(global, kInputNames));
  auto *outputs = static_cast<LWNodeOutputFuncs *>(first_global(global, kOutputNames));
  // Without its port services no node can be made.
  if (inputs == nullptr || outputs == nullptr) {
    return AFUNC_BADGLOBAL;
  }
  node_input_funcs.store(inputs, std::memory_order_relaxed);
  node_output_funcs.store(outputs, std::memory_order_relaxed);
  auto *handler = static_cast<LWNodeHandler *>(local);
  handler->inst->create = host_callback<node_create, nullptr>;
  handler->inst->destroy = host_callback<node_destroy>;
  handler->inst->copy = host_callback<node_copy, kCopyFailed>;
  handler->inst->descln = host_callback<node_descln, kNoDescription>;
  handler->inst->load = host_callback<node_load, nullptr>;
  handler->inst->save = host_callback<node_save, nullptr>;
  handler->rend->init = host_callback<node_init, kRenderStartFailed>;
  handler->rend->cleanup = host_callback<node_cleanup>;
  handler->rend->newTime = host_callback<node_new_time, nullptr>;
  handler->evaluate = host_callback<node_evaluate>;
  handler->customPreview = nullptr;
  handler->flags = host_callback<node_flags, 0u>;
  handler->materialGL = nullptr;
  object_info.store(static_cast<LWObjectInfo *>(first_global(global, kObjectInfoNames)),
                    std::memory_order_relaxed);
  return AFUNC_OK;
}

int activate_node_interface(std::int32_t version, GlobalFunc *global, void *local,
                            void * /*server_data*/) {
  if (!known_version(version)) {
    return AFUNC_BADVERSION;
  }
  auto *ui = static_cast<LWInterface *>(local);
  auto *node = static_cast<EdgeNodeInstance *>(ui->inst);
  xpanel_funcs = static_cast<LWXPanelFuncs *>(first_global(global, kXPanelNames));
  int result = AFUNC_OK;
  if (xpanel_funcs == nullptr || node == nullptr) {
    ui->panel = nullptr;
    result = AFUNC_BADGLOBAL;
  } else {
    ui->panel = build_options_panel(&node->core, true);
  }
  ui->options = nullptr;
  ui->command = nullptr;
  return result;
}

}  // namespace korv
