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

// All three outputs of one sample whose key is filled in. The normal is
// already the one to bend. The vectors are read from the host's record: the
// key's copies were only just written, one double at a time.
void evaluate_outputs(EdgeNodeInstance &node, const LWShadingGeometry &sa, const SampleKey &key,
                      SampleOutputs &out) {
  const ShadingSample sample{{key.object, key.polygon, to_vec3(sa.oP)},
                             key.normal,
                             key.normal0,
                             to_vec3(sa.shading.I),
                             key.world_to_object};
  ShadingResult result;
  evaluate_sample(sample, {&node.core, &node.core.cache, &node_build_options}, result);
  // As the shader's channel: the mask only for an output width above 0.
  const double width = result.query.settings.out_width;
  if (result.mask == ShadingResult::Mask::Edge) {
    out.distance = result.distance;
    if (width > 0.0) {
      out.edge = edge_mask(result.distance, width);
    }
  }
  if (result.bend) {
    for (int i = 0; i < 3; ++i) {
      out.normal[i] = result.normal[i];
    }
  }
}

// Whether key was made for this sample, with the normal to bend and the
// world-to-object matrix it reads, since the render lock's last write.
bool is_kept_sample(const SampleKey &key, std::uint64_t writes, const LWShadingGeometry &sa,
                    const double normal[3], const double w2o[9]) {
  return key.writes == writes && key.object == sa.itemID && key.polygon == sa.polygon &&
         same_bits(key.position, sa.oP, 3) && same_bits(key.normal, normal, 3) &&
         same_bits(key.normal0, sa.Ns, 3) && same_bits(key.view, sa.shading.I, 3) &&
         same_bits(key.world_to_object, w2o, 9);
}

}  // namespace

void node_evaluate(LWInstance instance, LWShadingGeometry *sa, NodeOutputID output,
                   NodeValue value) {
  EdgeNodeInstance *node = static_cast<EdgeNodeInstance *>(instance);
  LWNodeOutputFuncs *outputs = node_output_funcs.load(std::memory_order_relaxed);
  if (node == nullptr || sa == nullptr || outputs == nullptr) {
    return;
  }
  SampleOutputs out{{sa->Np[0], sa->Np[1], sa->Np[2]}, 0.0, kNoEdgeDistance};
  // The normal to bend: the connected input's, else the perturbed normal.
  LWNodeInputFuncs *inputs = node_input_funcs.load(std::memory_order_relaxed);
  if (inputs != nullptr && node->normal_in != nullptr && inputs->check(node->normal_in) != 0) {
    inputs->evaluate(node->normal_in, sa, out.normal);
  }
  // A displacement (no ray), or a sample of no item or polygon, passes
  // through.
  if (sa->ray != nullptr && sa->itemID != nullptr && sa->polygon != nullptr) {
    double w2o[9];
    bool contradicts = false;
    world_to_object(sa->toLocal, matrix_reading(node->readings, *sa, contradicts), w2o);
    // Read before the search: a count that has not moved since says that
    // nothing the search reads has changed.
    const std::uint64_t writes = render_lock_writes();
    const unsigned place = render_thread_place();
    SampleMemo *memo = place < kRenderReaderSlots ? &node->memos[place] : nullptr;
    if (memo != nullptr && memo->kept && is_kept_sample(memo->key, writes, *sa, out.normal, w2o)) {
      out = memo->outputs;
    } else {
      // A sample is counted once, where it is searched, however many of
      // its outputs are asked.
      if (contradicts) {
        node->readings.contradicting.fetch_add(1, std::memory_order_relaxed);
      }
      // The key is filled where it is kept, and read from there by the
      // search.
      SampleKey spare;
      SampleKey &key = memo != nullptr ? memo->key : spare;
      if (memo != nullptr) {
        memo->kept = false;
      }
      key.writes = writes;
      key.object = sa->itemID;
      key.polygon = sa->polygon;
      for (int i = 0; i < 3; ++i) {
        key.position[i] = sa->oP[i];
        key.normal[i] = out.normal[i];
        key.normal0[i] = sa->Ns[i];
        key.view[i] = sa->shading.I[i];
      }
      for (int i = 0; i < 9; ++i) {
        key.world_to_object[i] = w2o[i];
      }
      evaluate_outputs(*node, *sa, key, out);
      if (memo != nullptr) {
        memo->outputs = out;
        memo->kept = true;
      }
    }
  }
  if (output == node->normal_out) {
    outputs->setValue(value, out.normal);
  } else if (output == node->edge_out) {
    outputs->setValue(value, &out.edge);
  } else if (output == node->distance_out) {
    outputs->setValue(value, &out.distance);
  }
}

}  // namespace korv
