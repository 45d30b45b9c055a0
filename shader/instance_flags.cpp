#include "shader/instance_flags.h"

#include "instance/edge_instance.h"
#include "shader/output_channels.h"

namespace korv {

unsigned int flags_for_channel(int out_channel) {
  // The normal is declared whatever disable_bevel says.
  return LWSHF_NORMAL | output_channel(out_channel).flag;
}

unsigned int instance_flags(LWInstance inst) {
  return flags_for_channel(static_cast<EdgeInstance *>(inst)->out_channel);
}

}  // namespace korv
