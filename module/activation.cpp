#include "module/activation.h"

#include "hostapi/lwshader.h"
#include "hostapi/lwxpanel.h"
#include "module/host_services.h"
#include "panel/options_panel.h"
#include "shader/instance_callbacks.h"
#include "shader/persistence.h"
#include "shading/evaluate.h"

namespace korv {

int activate_shader_handler(int version, GlobalFunc *global, void *local, void * /*server_data*/) {
  if (version != LWSHADER_VERSION) {
    return AFUNC_BADVERSION;
  }
  auto *handler = static_cast<LWShaderHandler *>(local);
  handler->inst->create = instance_create;
  handler->inst->destroy = instance_destroy;
  handler->inst->copy = instance_copy;
  handler->inst->descln = instance_descln;
  handler->inst->load = instance_load;
  handler->inst->save = instance_save;
  if (handler->item != nullptr) {
    handler->item->useItems = instance_use_items;
    handler->item->changeID = instance_change_id;
  }
  handler->rend->init = instance_init;
  handler->rend->cleanup = instance_cleanup;
  handler->rend->newTime = instance_new_time;
  handler->evaluate = evaluate;
  handler->flags = instance_flags;
  object_info.store(static_cast<LWObjectInfo *>(global(LWOBJECTINFO_GLOBAL, GFUSE_TRANSIENT)),
                    std::memory_order_relaxed);
  return AFUNC_OK;
}

int activate_shader_interface(int version, GlobalFunc *global, void *local,
                              void * /*server_data*/) {
  if (version != LWINTERFACE_VERSION) {
    return AFUNC_BADVERSION;
  }
  auto *ui = static_cast<LWInterface *>(local);
  auto *inst = static_cast<EdgeShaderInstance *>(ui->inst);
  xpanel_funcs = static_cast<LWXPanelFuncs *>(global(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
  // Without the panel service no panel can be built; the host is told so
  // rather than left believing all went well.
  int result = AFUNC_OK;
  if (xpanel_funcs == nullptr) {
    ui->panel = nullptr;
    result = AFUNC_BADGLOBAL;
  } else {
    ui->panel = build_options_panel(inst);
  }
  ui->options = nullptr;
  ui->command = nullptr;
  return result;
}

}  // namespace korv
