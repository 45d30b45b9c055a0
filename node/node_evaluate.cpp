#include "edges/build_options.h"
#include "node/node_callbacks.h"
#include "runtime/host_services.h"
#include "shading/evaluate.h"

namespace korv {

namespace {

// The node always offers its Edge output, so its builds reach as far as a
// shader showing the mask. Its host does not promise that a sample's polygon
// is one of the object's mesh, so its databases list their polygons.
EdgeBuildOptions node_build_options(const EdgeSettings &settings) {
  EdgeBuildOptions options = edge_build_options(settings, true);
  options.list_polygons = true;
  return options;
}

}  // namespace

void node_evaluate(LWInstance instance, LWShadingGeometry *sa, NodeOutputID output,
                   NodeValue value) {
  EdgeNodeInstance *node = static_cast<EdgeNodeInstance *>(instance);
  LWNodeOutputFuncs *outputs = node_output_funcs.load(std::memory_order_relaxed);
  if (node == nullptr || sa == nullptr || outputs == nullptr) {
    return;
  }
  // The normal to bend: the connected input's, else the perturbed normal.
  double normal[3] = {sa->Np[0], sa->Np[1], sa->Np[2]};
  LWNodeInputFuncs *inputs = node_input_funcs.load(std::memory_order_relaxed);
  if (inputs != nullptr && node->normal_in != nullptr && inputs->check(node->normal_in) != 0) {
    inputs->evaluate(node->normal_in, sa, normal);
  }
  double edge = 0.0;
  double distance = kNoEdgeDistance;
  // A displacement (no ray), or a sample of no item or polygon, passes
  // through.
  if (sa->ray != nullptr && sa->itemID != nullptr && sa->polygon != nullptr) {
    double w2o[9];
    world_to_object(sa->toLocal, matrix_reading(node->readings, *sa), w2o);
    const ShadingSample sample{
        {sa->itemID, sa->polygon, to_vec3(sa->oP)}, normal, sa->Ns, to_vec3(sa->shading.I), w2o};
    ShadingResult result;
    evaluate_sample(sample, {&node->core, &node->core.cache, &node_build_options}, result);
    // As the shader's channel: the mask only for an output width above 0.
    const double width = result.query.settings.out_width;
    if (result.mask == ShadingResult::Mask::Edge) {
      distance = result.distance;
      if (width > 0.0) {
        edge = edge_mask(result.distance, width);
      }
    }
    if (result.bend) {
      for (int i = 0; i < 3; ++i) {
        normal[i] = result.normal[i];
      }
    }
  }
  if (output == node->normal_out) {
    outputs->setValue(value, normal);
  } else if (output == node->edge_out) {
    outputs->setValue(value, &edge);
  } else if (output == node->distance_out) {
    outputs->setValue(value, &distance);
  }
}

}  // namespace korv
