#include "edges/build_options.h"

#include <cmath>

namespace korv {

EdgeBuildOptions edge_build_options(const EdgeSettings &inst, bool shows_mask) {
  EdgeBuildOptions options;
  options.cos_threshold = std::cos(inst.edge_dangle);
  options.open_edge = inst.open_edge;
  options.use_deform = inst.use_deform;
  options.edge_kind = edge_kind_setting(inst.edge_kind);
  options.cross_polygons = inst.cross_polygons != 0;
  options.reach = cross_polygon_reach(inst, shows_mask);
  return options;
}

double cross_polygon_reach(const EdgeSettings &inst, bool shows_mask) {
  // Written so that a width that is not a number adds nothing.
  double reach = 0.0;
  const double band = 0.5 * inst.edge_width;
  if (band > reach) {
    reach = band;
  }
  const double open_band = 2.0 * inst.edge_width;
  if (inst.open_edge != 0 && open_band > reach) {
    reach = open_band;
  }
  const double mask = inst.out_width * std::log(256.0);
  if (shows_mask && mask > reach) {
    reach = mask;
  }
  return reach;
}

}  // namespace korv
