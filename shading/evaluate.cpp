#include "shading/evaluate.h"

#include <cmath>
#include <cstdint>

#include "edges/edge_query.h"
#include "module/host_services.h"
#include "shader/edge_shader_instance.h"
#include "shader/output_channels.h"

namespace korv {

namespace {

// exp(-d / width). A width of 0 has no finite quotient (none at all at d = 0):
// the mask is then 1 on the edge and 0 everywhere else, never NaN.
double edge_mask(double d, double width) {
  if (width == 0.0) {
    return d == 0.0 ? 1.0 : 0.0;
  }
  return std::exp(-d / width);
}

}  // namespace

void evaluate(LWInstance instance, LWShaderAccess *access) {
  const auto *inst = static_cast<const EdgeShaderInstance *>(instance);
  // Read once: the query is handed the very service this check found.
  LWObjectInfo *const info = current_object_info();
  if (info == nullptr || access->polygon == nullptr || !(inst->edge_width > 0.0)) {
    return;
  }
  double band = inst->edge_width * 0.5;

  Vec3 u0 = to_vec3(access->wNorm0);
  Vec3 u1 = to_vec3(access->wNorm);
  u0.normalize();
  u1.normalize();
  const Vec3 offset = u1 - u0;

  // The query takes the render lock itself, only around its use of the
  // instance's cache; nothing else here touches shared state.
  Vec3 edge_normal;
  std::int32_t is_open = 0;
  const double d =
      find_nearest_edge(info, access, const_cast<EdgeShaderInstance *>(inst), edge_normal, is_open);
  if (!(d >= 0.0)) {
    if (double LWShaderAccess::*channel = output_channel(inst->out_channel).field) {
      write_channel_without_edge(access->*channel, inst->out_mode);
    }
    return;
  }

  // The edge normal in the frame of wNorm. Deformed edges are already there;
  // base-mesh edges are turned into the world by the object's transform. A
  // normal takes the inverse transpose of oXfrm, which is wXfrm (world to
  // object) transposed; wXfrm itself would turn it the wrong way on any
  // rotated object.
  const Vec3 toward = inst->use_deform != 0
                          ? unit_vector(edge_normal)
                          : apply_transposed_mat3(edge_normal, access->wXfrm).normalize();

  if (is_open != 0) {
    // An open edge's band widens as its normal turns towards the viewer.
    Vec3 view = to_vec3(access->raySource) - to_vec3(access->wPos);
    view.normalize();
    const double c = dot(u1, view);
    const double m = c > 0.5 ? c : 0.5;
    const double e = dot(toward, view);
    const double w = e / m > 0.0 ? e / m : 0.0;
    band = w * inst->edge_width;
    // A band of 0 (the edge faces away) leaves the sample as it came. So
    // does a band with no value, which an infinite width times 0 would give.
    if (!(band > 0.0)) {
      return;
    }
  }

  if (double LWShaderAccess::*channel = output_channel(inst->out_channel).field) {
    write_channel(access->*channel, edge_mask(d, inst->out_width), inst->out_mode);
  }
  if (inst->disable_bevel != 0) {
    return;
  }

  double j = d / band;
  if (inst->round_edge != 0) {
    j = j > 1.0 ? 1.0 : (j < 0.0 ? 0.0 : j);
  } else {
    // The band includes its border: at d = band the sample is still bevelled.
    j = j > 1.0 ? 1.0 : 0.0;
  }
  const Vec3 bent = j * u0 + (1.0 - j) * toward;
  store(bent, access->wNorm0);
  Vec3 shading = bent + offset;
  store(shading.normalize(), access->wNorm);
}

}  // namespace korv
