#include "shader/build_options.h"

#include "shader/output_channels.h"

namespace korv {

EdgeBuildOptions edge_build_options(const EdgeSettings &settings) {
  return edge_build_options(settings, output_channel(settings.out_channel).field != nullptr);
}

}  // namespace korv
