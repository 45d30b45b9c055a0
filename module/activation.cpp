#include "module/activation.h"

#include <iterator>

#include "hostapi/lwshader.h"
#include "hostapi/lwxpanel.h"
#include "instance/life_cycle.h"
#include "instance/persistence.h"
#include "panel/options_panel.h"
#include "runtime/host_boundary.h"
#include "runtime/host_services.h"
#include "shader/evaluate_callback.h"
#include "shader/instance_flags.h"
#include "shader/output_channels.h"

namespace korv {

// The panel lies below the shader and cannot see its channel table; here,
// where the shader is given its panel, its choices are held to one per
// channel and one per way of writing it, each list with its closing null.
static_assert(std::size(panel_channel_choices) == kOutputChannelCount + 1);
static_assert(std::size(panel_out_mode_choices) == kOutputModeCount + 1);

namespace {

// What a callback gives the host when its work throws. A render start whose
// cache could not be emptied is refused rather than reported as begun; a
// copy whose destination has no cache says so, as when memory runs out.
constexpr char kRenderStartFailed[] = "Korv_Edge: the render lock could not be taken";
constexpr char kCopyFailed[] = "Korv_Edge: the instance could not be copied";
constexpr char kNoDescription[] = "";

}  // namespace

int activate_shader_handler(std::int32_t version, GlobalFunc *global, void *local,
                            void * /*server_data*/) {
  if (version != LWSHADER_VERSION) {
    return AFUNC_BADVERSION;
  }
  auto *handler = static_cast<LWShaderHandler *>(local);
  // Every callback reaches the host through the boundary, so that no
  // exception can: a failed evaluation leaves its sample as it came, and a
  // failed load, save or new time reports success as they always do.
  handler->inst->create = host_callback<instance_create, nullptr>;
  handler->inst->destroy = host_callback<instance_destroy>;
  handler->inst->copy = host_callback<instance_copy, kCopyFailed>;
  handler->inst->descln = host_callback<instance_descln, kNoDescription>;
  handler->inst->load = host_callback<instance_load, nullptr>;
  handler->inst->save = host_callback<instance_save, nullptr>;
  if (handler->item != nullptr) {
    handler->item->useItems = host_callback<instance_use_items, nullptr>;
    handler->item->changeID = host_callback<instance_change_id>;
  }
  handler->rend->init = host_callback<instance_init, kRenderStartFailed>;
  handler->rend->cleanup = host_callback<instance_cleanup>;
  handler->rend->newTime = host_callback<instance_new_time, nullptr>;
  handler->evaluate = host_callback<evaluate>;
  handler->flags = host_callback<instance_flags, LWSHF_NORMAL>;
  object_info.store(static_cast<LWObjectInfo *>(global(LWOBJECTINFO_GLOBAL, GFUSE_TRANSIENT)),
                    std::memory_order_relaxed);
  return AFUNC_OK;
}

int activate_shader_interface(std::int32_t version, GlobalFunc *global, void *local,
                              void * /*server_data*/) {
  if (version != LWINTERFACE_VERSION) {
    return AFUNC_BADVERSION;
  }
  auto *ui = static_cast<LWInterface *>(local);
  auto *inst = static_cast<EdgeInstance *>(ui->inst);
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
