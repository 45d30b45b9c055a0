#include "shader/evaluate_callback.h"

#include "shader/core_input.h"
#include "shader/output_channels.h"

namespace korv {

void evaluate(LWInstance instance, LWShaderAccess *access) {
  auto *inst = static_cast<EdgeInstance *>(instance);
  ShadingResult result;
  evaluate_sample(sample_of(*access), edge_source(*inst), result);
  if (result.mask == ShadingResult::Mask::None) {
    return;
  }
  // The mask goes into the chosen channel only for an output width above 0.
  // Any other width (0, negative, NaN from a damaged scene) has no mask that
  // is a number from 0 to 1, and a renderer turns an infinite or NaN channel
  // into black or white pixels that spread through its filters: no channel
  // value is written then, as with "None".
  const EdgeSettings &settings = result.query.settings;
  double LWShaderAccess::*channel = output_channel(settings.out_channel).field;
  if (channel != nullptr && settings.out_width > 0.0) {
    if (result.mask == ShadingResult::Mask::Edge) {
      write_channel(access->*channel, edge_mask(result.distance, settings.out_width),
                    settings.out_mode);
    } else {
      write_channel_without_edge(access->*channel, settings.out_mode);
    }
  }
  if (result.bend) {
    for (int i = 0; i < 3; ++i) {
      access->wNorm0[i] = result.normal0[i];
      access->wNorm[i] = result.normal[i];
    }
  }
}

}  // namespace korv
