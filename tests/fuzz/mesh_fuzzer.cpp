// Differential fuzzing of the edge build, the query and the evaluation: the
// bytes are read as a mesh a host could hand over (mesh_case.h), with
// settings, a host fault and a few shading samples. For each input it
//  1. builds the object's edge database with the module's code, over the
//     stand-in host's mesh service, and compares it field for field with the
//     slow reference build (tests/reference), success and failure alike;
//  2. evaluates the samples through the module file Korv_Edge.p, loaded
//     through _mod_descrip as a host loads it, and compares every record with
//     what the slow reference query and evaluation make of the same sample,
//     and the database the module keeps with the reference's;
//     where a node module is built, it evaluates them through the edge node
//     too, once for each way of writing the node's matrices, and requires
//     its Normal and Edge outputs to be, bit for bit, the wNorm and channel
//     of a shader with the case's settings that bevels and writes the mask
//     (Korv_Edge.p's second instance);
//  3. checks that every mesh-info handle was released exactly once (none
//     when the host gives no destroy), and the instance's cache is empty
//     after cleanup.
// Besides the sanitizers' findings it stops at the first difference.
//
// With KORV_FUZZ_WRITE_SEEDS=DIR set, it writes its seed inputs into DIR and
// exits instead.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "host/mesh_service.h"
#include "host/node_session.h"
#include "host/shader_session.h"
#include "host/xpanel_service.h"
#include "instance/edge_instance.h"
#include "mesh_case.h"
#include "mesh_seeds.h"
#include "tests/reference/edge_reference.h"
#include "tests/reference/shading_reference.h"

namespace {

using korv::EdgeInstance;
using korv::testing::BuildOptions;
using korv::testing::EdgeSnapshot;
using korv::testing::ReferenceBuild;
using korv::testing::snapshot;

[[noreturn]] void fail(const std::string &why) {
  std::fprintf(stderr, "korv-fuzz-mesh: %s\n", why.c_str());
  std::abort();
}

korv::host::RecordedPanel *checked_panel(korv::host::RecordedPanel *panel) {
  if (panel == nullptr || panel->set == nullptr) {
    fail("a module built no options panel");
  }
  return panel;
}

template <class T>
void set_on(korv::host::RecordedPanel *panel, const char *name, T value) {
  const LWXPanelDataDesc *row = panel->find_data(name);
  if (row == nullptr) {
    fail(std::string("no setting ") + name);
  }
  panel->set(panel->view_instance, row->vid, &value);
}

// The module file, loaded once: one instance whose settings each input sets
// through the options panel, as a host's panel would. Where the node module
// is built, also the node, once per way of writing its matrices, and a
// second shader instance that shows the mask on luminous, to hold it to.
struct Loaded {
  std::unique_ptr<korv::host::ShaderSession> session;
  korv::host::RecordedPanel *panel = nullptr;
  std::unique_ptr<korv::host::ShaderSession> masked;
  std::unique_ptr<korv::host::NodeSession> nodes[2];
  static constexpr korv::host::MatrixWriting kWritings[2] = {korv::host::MatrixWriting::Rows,
                                                             korv::host::MatrixWriting::Columns};

  Loaded() {
    std::string error;
    session = korv::host::ShaderSession::open(korv::host::default_module_path(), error);
    if (!session) {
      fail(error);
    }
    panel = checked_panel(session->panel());
#ifdef KORV_FUZZ_NODE
    masked = korv::host::ShaderSession::open(korv::host::default_module_path(), error);
    if (!masked) {
      fail(error);
    }
    set_on(checked_panel(masked->panel()), "out_channel", std::int32_t{1});
    for (auto &node : nodes) {
      node =
          korv::host::NodeSession::open(korv::host::default_module_path("Korv_EdgeNode.p"), error);
      if (!node) {
        fail(error);
      }
      checked_panel(node->panel());
    }
#endif
  }

  EdgeInstance &instance() const {
    return *static_cast<EdgeInstance *>(session->instance());
  }

  // The bevel switch and the channel's controls are the first shader's
  // alone.
  template <class T>
  void set(const char *name, T value) const {
    set_on(panel, name, value);
    const std::string n = name;
    if (masked && n != "disable_bevel" && n != "out_channel" && n != "out_mode") {
      set_on(masked->panel(), name, value);
      for (const auto &node : nodes) {
        set_on(node->panel(), name, value);
      }
    }
  }
};

const Loaded &loaded() {
  static const Loaded l;
  return l;
}

void release(LWMeshInfo *mesh) {
  if (mesh != nullptr && mesh->destroy != nullptr) {
    mesh->destroy(mesh);
  }
}

LWMeshInfo *mesh_info(const korv::host::SceneObject &object) {
  return korv::host::object_info_service()->meshInfo(object.id(), 1);
}

// 1. The module's build against the reference build, each on a handle of
// its own (so each meets the host's faults from its first scan).
void check_build(const korv::host::SceneObject &object, const BuildOptions &options) {
  LWMeshInfo *info = mesh_info(object);
  if (info == nullptr) {
    return;
  }
  korv::EdgeCache cache;
  korv::ObjectEdgeDatabase *database =
      korv::build_edge_database(cache, object.id(), info, korv::testing::module_options(options));
  LWMeshInfo *reference_info = mesh_info(object);
  EdgeSnapshot reference;
  const bool reference_built = ReferenceBuild(reference_info, options).run(reference);
  release(reference_info);
  if ((database != nullptr) != reference_built) {
    fail(database != nullptr ? "the build succeeded where the reference failed"
                             : "the build failed where the reference succeeded");
  }
  if (database != nullptr) {
    if (cache.databases.size() != 1 || cache.databases[0].get() != database) {
      fail("a successful build did not leave its database in the cache");
    }
    const std::string difference = describe_difference(snapshot(*database), reference);
    if (!difference.empty()) {
      fail("build: " + difference);
    }
    release(info);
  } else if (!cache.databases.empty()) {
    fail("a failed build left something in the cache");
  }
  korv::empty_edge_cache(&cache);
}

// The first field in which two records differ (doubles bit for bit, two NaNs
// alike), or empty.
std::string record_difference(const LWShaderAccess &got, const LWShaderAccess &want) {
  if (std::memcmp(&got, &want, sizeof got) == 0) {
    return "";
  }
  struct Field {
    const char *name;
    const double *got;
    const double *want;
    int count;
  };
  const Field fields[] = {
      {"wNorm0", got.wNorm0, want.wNorm0, 3},
      {"wNorm", got.wNorm, want.wNorm, 3},
      {"luminous", &got.luminous, &want.luminous, 1},
      {"diffuse", &got.diffuse, &want.diffuse, 1},
      {"specular", &got.specular, &want.specular, 1},
      {"mirror", &got.mirror, &want.mirror, 1},
      {"transparency", &got.transparency, &want.transparency, 1},
      {"translucency", &got.translucency, &want.translucency, 1},
      {"bumpHeight", &got.bumpHeight, &want.bumpHeight, 1},
  };
  LWShaderAccess a = got;
  LWShaderAccess b = want;
  for (const Field &f : fields) {
    for (int i = 0; i < f.count; ++i) {
      if (!korv::testing::same_double(f.got[i], f.want[i])) {
        char text[160];
        std::snprintf(text, sizeof text, "%s[%d] is %.17g, the reference gives %.17g", f.name, i,
                      f.got[i], f.want[i]);
        return text;
      }
    }
  }
  // Only NaNs of other bits differ in the written fields; the rest of the
  // record must be as it came.
  for (LWShaderAccess *r : {&a, &b}) {
    std::memset(r->wNorm0, 0, sizeof r->wNorm0);
    std::memset(r->wNorm, 0, sizeof r->wNorm);
    r->luminous = r->diffuse = r->specular = r->mirror = 0.0;
    r->transparency = r->translucency = r->bumpHeight = 0.0;
  }
  return std::memcmp(&a, &b, sizeof a) == 0 ? "" : "a field the evaluation never writes changed";
}

// 2b. The node's Normal and Edge outputs for a sample against the wNorm and
// luminous of the shader showing the mask (0 where it writes none).
void check_node(const Loaded &l, const LWShaderAccess &sample, std::size_t i) {
  LWShaderAccess shown = sample;
  shown.luminous = 0.0;
  l.masked->evaluate(shown);
  for (int w = 0; w < 2; ++w) {
    LWShadingGeometry g;
    korv::host::NodeSession::make_geometry(sample, Loaded::kWritings[w], g);
    const korv::host::NodeOutputs out = l.nodes[w]->evaluate(g);
    if (std::memcmp(out.normal, shown.wNorm, sizeof out.normal) != 0 ||
        std::memcmp(&out.edge, &shown.luminous, sizeof out.edge) != 0) {
      char text[240];
      std::snprintf(text, sizeof text,
                    "with %s the node gives Normal (%.17g, %.17g, %.17g) and Edge %.17g, the "
                    "shader (%.17g, %.17g, %.17g) and %.17g",
                    w == 0 ? "rows" : "columns", out.normal[0], out.normal[1], out.normal[2],
                    out.edge, shown.wNorm[0], shown.wNorm[1], shown.wNorm[2], shown.luminous);
      fail("sample " + std::to_string(i) + ": " + text);
    }
  }
}

// 2. Evaluation through the loaded module against the reference query and
// evaluation. The reference mirrors the module's cache: the first sample
// that reaches the query builds (on that sample's handle, which the query
// then goes on using), and a failed build is not tried again.
void check_evaluation(const korv::host::SceneObject &object, const korv::fuzz::MeshCase &c,
                      const BuildOptions &options) {
  const Loaded &l = loaded();
  l.set("edge_width", c.edge_width);
  l.set("edge_dangle", c.edge_dangle);
  l.set("smooth_edge", c.smooth_edge);
  l.set("smooth_cos", c.smooth_cos);
  l.set("round_edge", c.round_edge);
  l.set("open_edge", c.open_edge);
  l.set("use_deform", c.use_deform);
  l.set("disable_bevel", c.disable_bevel);
  l.set("out_channel", c.out_channel);
  l.set("out_width", c.out_width);
  l.set("cross_polygons", c.cross_polygons);
  l.set("edge_kind", c.edge_kind);
  l.set("out_mode", c.out_mode);
  l.set("corner_blend", c.corner_blend);
  const EdgeInstance &settings = l.instance();

  l.session->init();
  if (l.masked) {
    l.masked->init();
    for (const auto &node : l.nodes) {
      node->init();
    }
    // The node reads columns once a sample has told them from rows, as a
    // host's first samples of an object do: this one, off every axis, under
    // a turn. Until then it reads rows, which the samples meet in the other:
    // its first sample has no turn, and tells nothing.
    // These first samples also build each instance's edges, so that every
    // sample compared below is searched on a mesh-info handle of its own. A
    // node asks the search once per output, and the sample that builds is
    // searched on the build's handle only by the first: a host whose mesh
    // changes under a build answers that one from another mesh.
    LWShaderAccess first{};
    first.objID = object.id();
    first.polygon = korv::host::polygon_id(0);
    const double turn[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    const double still[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const double world[3] = {1, 2, 3};
    const double local[3] = {2, -1, 3};
    std::memcpy(first.wPos, world, sizeof world);
    std::memcpy(first.oPos, local, sizeof local);
    LWShaderAccess shown = first;
    l.masked->evaluate(shown);
    for (int w = 0; w < 2; ++w) {
      std::memcpy(first.wXfrm, w == 0 ? still : turn, sizeof turn);
      LWShadingGeometry g;
      korv::host::NodeSession::make_geometry(first, Loaded::kWritings[w], g);
      l.nodes[w]->evaluate(g);
    }
  }
  std::optional<EdgeSnapshot> reference;
  bool tried = false;
  const std::vector<LWShaderAccess> samples = korv::fuzz::make_samples(c, object);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    LWShaderAccess got = samples[i];
    l.session->evaluate(got);
    LWShaderAccess want = samples[i];
    if (want.polygon != nullptr && settings.edge_width > 0.0 && (reference || !tried)) {
      korv::testing::ReferenceHit hit;  // none until the reference finds one
      if (LWMeshInfo *info = mesh_info(object)) {
        if (!reference) {
          tried = true;
          EdgeSnapshot built;
          if (ReferenceBuild(info, options).run(built)) {
            reference = std::move(built);
          }
        }
        if (reference) {
          hit = korv::testing::reference_nearest_edge(*reference, info, want, settings);
        }
        release(info);
      }
      korv::testing::reference_shade(hit, settings, want);
    }
    const std::string difference = record_difference(got, want);
    if (!difference.empty()) {
      fail("sample " + std::to_string(i) + ": " + difference);
    }
    if (l.masked) {
      check_node(l, samples[i], i);
    }
    const std::size_t kept = settings.cache->databases.size();
    if (kept != (reference ? 1u : 0u)) {
      fail("sample " + std::to_string(i) + ": the instance keeps " + std::to_string(kept) +
           " databases where the reference has " + (reference ? "one" : "none"));
    }
  }
  if (reference) {
    const std::string difference =
        describe_difference(snapshot(*settings.cache->databases[0]),
                            korv::testing::thinned(*reference, settings.cross_polygons != 0));
    if (!difference.empty()) {
      fail("the module's database: " + difference);
    }
  }
  l.session->cleanup();
  if (l.masked) {
    l.masked->cleanup();
    for (const auto &node : l.nodes) {
      node->cleanup();
    }
  }
  if (!settings.cache->databases.empty()) {
    fail("cleanup left databases in the cache");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  if (const char *dir = std::getenv("KORV_FUZZ_WRITE_SEEDS")) {
    std::exit(korv::fuzz::write_mesh_seeds(dir) ? 0 : 1);
  }
  // Loaded before the first input, so that the module's coverage is known
  // from the start.
  loaded();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const korv::fuzz::MeshCase c = korv::fuzz::decode_mesh_case(data, size);
  korv::host::SceneObject object(c.mesh);
  object.faults = korv::fuzz::mesh_faults(c);
  const BuildOptions options{std::cos(c.edge_dangle), c.open_edge, c.use_deform, c.edge_kind};

  korv::host::reset_mesh_service_counts();
  check_build(object, options);
  check_evaluation(object, c, options);

  // 3. Every handle handed out was released once; without destroy, none was.
  const korv::host::MeshServiceCounts counts = korv::host::mesh_service_counts();
  if (counts.stray_destroy != 0) {
    fail(std::to_string(counts.stray_destroy) + " mesh-info handles were released twice");
  }
  if (counts.live != 0) {
    fail(std::to_string(counts.live) + " mesh-info handles were never released");
  }
  const long released = object.faults.no_destroy ? 0 : counts.mesh_info;
  if (counts.destroy != released) {
    fail(std::to_string(counts.destroy) + " of " + std::to_string(counts.mesh_info) +
         " mesh-info handles were released");
  }
  return 0;
}
