#include "shading/evaluate.h"

#include <cmath>

#include "runtime/host_services.h"

namespace korv {

namespace {

// A normal that can be written: finite and not zero. A zero or non-finite
// normal shades black or NaN in a renderer.
bool has_direction(const Vec3 &v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) &&
         !(v.x == 0.0 && v.y == 0.0 && v.z == 0.0);
}

}  // namespace

double edge_mask(double d, double width) {
  return std::exp(-d / width);
}

void evaluate_sample(const ShadingSample &sample, const EdgeSource &source, ShadingResult &result) {
  // Read once: the query is handed the very service this check found.
  LWObjectInfo *const info = current_object_info();
  if (info == nullptr || sample.spot.polygon == nullptr) {
    return;
  }

  Vec3 u0 = to_vec3(sample.normal0);
  Vec3 u1 = to_vec3(sample.normal);
  u0.normalize();
  u1.normalize();
  const Vec3 offset = u1 - u0;

  // The query takes the render lock itself, only around its use of the
  // instance's cache and settings; from here on the sample reads the settings
  // only from its own copy, so all of it follows one consistent set, and
  // nothing else here touches shared state. An edge width that is not above
  // 0 finds no edge.
  EdgeQuery &query = result.query;
  const double d = find_nearest_edge(info, sample.spot, source, query);
  if (!(d >= 0.0)) {
    // Where the object's edges were searched and none was found, the mask is
    // 0; where the query gave up (the bevel off, a failed build) the sample
    // passes through.
    if (query.searched) {
      result.mask = ShadingResult::Mask::NoEdge;
    }
    return;
  }
  const EdgeSettings &settings = query.settings;
  double band = settings.edge_width * 0.5;

  // The edge normal in the frame of the sample's normal, by the frame its
  // database was built in. Deformed edges are already there; base-mesh edges
  // are turned into the world by the object's transform. A normal takes the
  // inverse transpose of the object-to-world transform, which is the
  // world-to-object one transposed; that one itself would turn it the wrong
  // way on any rotated object.
  const Vec3 toward = query.deformed
                          ? unit_vector(query.normal)
                          : apply_transposed_mat3(query.normal, sample.world_to_object).normalize();

  if (query.is_open != 0) {
    // An open edge's band widens as its normal turns towards the viewer.
    Vec3 view = sample.view;
    view.normalize();
    const double c = dot(u1, view);
    const double m = c > 0.5 ? c : 0.5;
    const double e = dot(toward, view);
    const double w = e / m > 0.0 ? e / m : 0.0;
    band = w * settings.edge_width;
    // A band of 0 (the edge faces away) leaves the sample as it came. So
    // does a band with no value, which an infinite width times 0 would give.
    if (!(band > 0.0)) {
      return;
    }
  }

  result.mask = ShadingResult::Mask::Edge;
  result.distance = d;
  // An edge normal with no direction (the two polygons of an edge facing
  // exactly opposite ways, as back-to-back polygons on shared points do, or
  // a degenerate transform) has nothing to bend towards: the normals stay as
  // received.
  if (settings.disable_bevel != 0 || !has_direction(toward)) {
    return;
  }

  double j = d / band;
  if (settings.round_edge != 0) {
    j = j > 1.0 ? 1.0 : (j < 0.0 ? 0.0 : j);
  } else {
    // The band includes its border: at d = band the sample is still bevelled.
    j = j > 1.0 ? 1.0 : 0.0;
  }
  const Vec3 bent = j * u0 + (1.0 - j) * toward;
  Vec3 shading = bent + offset;
  shading.normalize();
  // Where the bent normal and the incoming offset cancel (a normal arriving
  // opposite the edge normal, halfway up the ramp), there is no shading
  // normal to write either.
  if (!has_direction(shading)) {
    return;
  }
  result.bend = true;
  store(bent, result.normal0);
  store(shading, result.normal);
}

}  // namespace korv
