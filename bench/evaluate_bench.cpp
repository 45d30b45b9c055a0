// The cost of one shading sample through the loaded module, beside the floor
// set by the host calls its nearest-edge query cannot avoid.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "edges/settings.h"
#include "host/builtin_meshes.h"
#include "host/mesh_io.h"
#include "host/mesh_service.h"
#include "host/module_loader.h"
#include "host/node_session.h"
#include "host/shader_session.h"
#include "tests/e2e/generated_meshes.h"

namespace {

using korv::host::Mesh;
using korv::host::SceneObject;

constexpr std::size_t kSamples = 4096;

// A unit-free box mesh (the 2 x 2 x 2 cube) and samples spread evenly over
// its faces, as camera rays would meet them: with the default edge width
// (band 0.01) about one sample in fifty lies within a band.
struct BoxScene {
  std::unique_ptr<SceneObject> object;
  std::vector<LWShaderAccess> samples;

  BoxScene() {
    Mesh mesh;
    korv::host::builtin_mesh("cube", mesh);
    object = std::make_unique<SceneObject>(std::move(mesh));
    const Mesh &m = object->mesh();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> along(-1.0, 1.0);
    for (std::size_t i = 0; i < kSamples; ++i) {
      const std::size_t polygon = i % m.polygon_count();
      // The face's axis and side from its first corner and its centre.
      double centre[3] = {0, 0, 0};
      for (std::uint32_t c : m.polygon(polygon)) {
        for (int k = 0; k < 3; ++k) {
          centre[k] += m.points[c][std::size_t(k)] / 4.0;
        }
      }
      LWShaderAccess a{};
      a.objID = object->id();
      a.polygon = korv::host::polygon_id(polygon);
      for (int k = 0; k < 3; ++k) {
        const bool axis = centre[k] != 0.0;
        a.oPos[k] = axis ? centre[k] : along(random);
        a.wPos[k] = a.oPos[k];
        a.wNorm[k] = a.wNorm0[k] = axis ? centre[k] : 0.0;
        a.raySource[k] = 5.0 * centre[k] + 1.0;
      }
      a.wXfrm[0] = a.wXfrm[4] = a.wXfrm[8] = 1.0;
      samples.push_back(a);
    }
  }
};

// Samples spread over any mesh, as camera rays would meet it: sample i lies
// on polygon i * step (modulo the count), at a random mix of its corners, and
// faces the way the polygon does. With `only`, the samples lie on the first
// `only` polygons alone; with `mixed`, each mixes that many of its polygon's
// corners, drawn at random, instead of all.
struct MeshScene {
  std::unique_ptr<SceneObject> object;
  std::vector<LWShaderAccess> samples;

  explicit MeshScene(Mesh mesh, std::size_t step = 1, std::size_t only = 0, std::size_t mixed = 0) {
    object = std::make_unique<SceneObject>(std::move(mesh));
    const Mesh &m = object->mesh();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> weight(0.0, 1.0);
    for (std::size_t i = 0; i < kSamples; ++i) {
      const std::size_t polygon = i * step % (only != 0 ? only : m.polygon_count());
      const auto corners = m.polygon(polygon);
      auto at = [&](std::size_t c, int k) { return double(m.points[corners[c]][std::size_t(k)]); };
      LWShaderAccess a{};
      a.objID = object->id();
      a.polygon = korv::host::polygon_id(polygon);
      double total = 0.0;
      for (std::size_t j = 0; j < (mixed != 0 ? mixed : corners.size()); ++j) {
        const std::size_t c = mixed != 0 ? random() % corners.size() : j;
        const double w = weight(random);
        total += w;
        for (int k = 0; k < 3; ++k) {
          a.oPos[k] += w * at(c, k);
        }
      }
      const std::size_t last = corners.size() - 1;
      double normal[3];
      for (int k = 0; k < 3; ++k) {
        a.oPos[k] /= total;
        a.wPos[k] = a.oPos[k];
      }
      for (int k = 0; k < 3; ++k) {
        const int k1 = (k + 1) % 3, k2 = (k + 2) % 3;
        normal[k] = (at(1, k1) - at(0, k1)) * (at(last, k2) - at(0, k2)) -
                    (at(1, k2) - at(0, k2)) * (at(last, k1) - at(0, k1));
      }
      for (int k = 0; k < 3; ++k) {
        a.wNorm[k] = a.wNorm0[k] = normal[k];
        a.raySource[k] = a.wPos[k] + 5.0 * normal[k];
      }
      a.wXfrm[0] = a.wXfrm[4] = a.wXfrm[8] = 1.0;
      samples.push_back(a);
    }
  }
};

// The module loaded with the given settings, a render started and the
// object's edge database built by a first sample; null with the reason when
// the module cannot be loaded.
std::unique_ptr<korv::host::ShaderSession> open_with_database(
    std::vector<LWShaderAccess> &samples, std::string &error,
    const std::vector<std::string> &settings = {}) {
  auto session = korv::host::ShaderSession::open(korv::host::default_module_path(), error);
  if (session) {
    error = session->apply_settings(settings);
    if (!error.empty()) {
      return nullptr;
    }
    session->init();
    session->evaluate(samples[0]);
  }
  return session;
}

// The same, or null with the benchmark skipped for the reason.
std::unique_ptr<korv::host::ShaderSession> session_with_database(
    benchmark::State &state, std::vector<LWShaderAccess> &samples,
    const std::vector<std::string> &settings = {}) {
  std::string error;
  auto session = open_with_database(samples, error, settings);
  if (!session) {
    state.SkipWithError(error.c_str());
  }
  return session;
}

// One sample after another through the loaded module; the first `builds`
// samples (each on an object of its own) build their databases beforehand.
void evaluate_samples(benchmark::State &state, std::vector<LWShaderAccess> &samples,
                      const std::vector<std::string> &settings, std::size_t builds = 1) {
  auto session = session_with_database(state, samples, settings);
  if (!session) {
    return;
  }
  for (std::size_t i = 1; i < builds && i < samples.size(); ++i) {
    session->evaluate(samples[i]);
  }
  std::size_t i = 0;
  for (auto _ : state) {
    session->evaluate(samples[i]);
    benchmark::DoNotOptimize(samples[i]);
    i = (i + 1) % kSamples;
  }
  session->cleanup();
  state.counters["samples/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// With the band crossing polygons, on the same box.
void BM_EvaluateAcross(benchmark::State &state) {
  BoxScene scene;
  evaluate_samples(state, scene.samples, {"cross_polygons=1"});
}
BENCHMARK(BM_EvaluateAcross);

// Meshes whose sample cost once grew with their size, each at two sizes: the
// time per sample must stay flat from the smaller to the larger.

// A fan written as one polygon visiting its hub k times, with its reversed
// copy (range: k, then edge smoothing: the smoothed end normal at the hub
// sums the hub's edges in their order, which is linear in them); samples on
// both.
void BM_EvaluateFanPolygon(benchmark::State &state) {
  MeshScene scene(korv::testing::fan_polygon(std::uint32_t(state.range(0))));
  evaluate_samples(state, scene.samples, {"smooth_edge=" + std::to_string(state.range(1))});
}
BENCHMARK(BM_EvaluateFanPolygon)
    ->Args({1000, 1})
    ->Args({4000, 1})
    ->Args({1000, 0})
    ->Args({4000, 0});

// A corrugated sheet of long ridges across polygons (range: ridges), turned
// 45 degrees (/1) or along the axes (/0).
void BM_EvaluateSheet(benchmark::State &state) {
  MeshScene scene(korv::testing::corrugated_sheet(std::uint32_t(state.range(0)), state.range(1)));
  evaluate_samples(state, scene.samples, {"cross_polygons=1"});
}
BENCHMARK(BM_EvaluateSheet)->Args({1000, 1})->Args({4000, 1})->Args({1000, 0})->Args({4000, 0});

// The unturned sheet beside a far shell 2^40 away, across polygons.
void BM_EvaluateAcrossFarShell(benchmark::State &state) {
  Mesh mesh = korv::testing::corrugated_sheet(std::uint32_t(state.range(0)), false);
  korv::testing::add_far_shell(mesh);
  MeshScene scene(std::move(mesh));
  evaluate_samples(state, scene.samples, {"cross_polygons=1"});
}
BENCHMARK(BM_EvaluateAcrossFarShell)->Arg(1000)->Arg(4000);

// The same sheet across polygons with samples at absurd but finite
// positions, a coordinate of 1e200 (range: ridges, then 1 for the absurd
// positions, 0 for the sheet's own): no edge can be within reach of them,
// and their cost must stay flat in the sheet's size too.
void BM_EvaluateAbsurdPositions(benchmark::State &state) {
  MeshScene scene(korv::testing::corrugated_sheet(std::uint32_t(state.range(0)), false));
  for (std::size_t i = 1; i < kSamples; ++i) {
    scene.samples[i].oPos[0] += state.range(1) != 0 ? 1e200 : 0.0;
  }
  evaluate_samples(state, scene.samples, {"cross_polygons=1"});
}
BENCHMARK(BM_EvaluateAbsurdPositions)
    ->Args({1000, 1})
    ->Args({4000, 1})
    ->Args({1000, 0})
    ->Args({4000, 0});

// Samples on the two large caps of a prism (range: the caps' corners).
void BM_EvaluateLargeCap(benchmark::State &state) {
  MeshScene scene(korv::testing::arch_prism(std::uint32_t(state.range(0))), 1, 2);
  evaluate_samples(state, scene.samples, {});
}
BENCHMARK(BM_EvaluateLargeCap)->Arg(4096)->Arg(16384);

// Samples on one polygon of many corners on a circle (range: corners, then
// whether its rim is sharp): /0 alone, an object without a single edge; /1
// the lid of a drum, whose walls make its rim sharp; /2 alone beside a cube
// of sharp edges, so that the object has edges but none at the polygon.
void BM_EvaluateHugePolygon(benchmark::State &state) {
  const auto n = std::uint32_t(state.range(0));
  Mesh mesh;
  std::vector<std::uint32_t> lid;
  for (std::uint32_t k = 0; k < n; ++k) {
    const double angle = 2.0 * korv::kPi * double(k) / double(n);
    lid.push_back(mesh.add_point(std::cos(angle), std::sin(angle), 0.0));
  }
  mesh.add_polygon(lid);
  if (state.range(1) == 2) {
    std::uint32_t corner[8];
    for (std::uint32_t c = 0; c < 8; ++c) {
      corner[c] = mesh.add_point(3.0 + (c & 1), (c >> 1) & 1, -double((c >> 2) & 1));
    }
    for (const auto &q : {std::array<int, 4>{0, 2, 3, 1},
                          {4, 5, 7, 6},
                          {0, 1, 5, 4},
                          {2, 6, 7, 3},
                          {0, 4, 6, 2},
                          {1, 3, 7, 5}}) {
      mesh.add_polygon({corner[q[0]], corner[q[1]], corner[q[2]], corner[q[3]]});
    }
  }
  for (std::uint32_t k = 0; k < n && state.range(1) == 1; ++k) {
    const std::uint32_t next = (k + 1) % n;
    // Copies: the points grow below.
    const auto a = mesh.points[lid[next]];
    const auto b = mesh.points[lid[k]];
    mesh.add_polygon(
        {lid[next], lid[k], mesh.add_point(b[0], b[1], -1.0), mesh.add_point(a[0], a[1], -1.0)});
  }
  MeshScene scene(std::move(mesh), 1, 1, 3);
  evaluate_samples(state, scene.samples, {});
}
BENCHMARK(BM_EvaluateHugePolygon)
    ->Args({10'000, 2})
    ->Args({100'000, 2})
    ->Args({1'000'000, 2})
    ->Args({10'000, 0})
    ->Args({100'000, 0})
    ->Args({1'000'000, 0})
    ->Args({10'000, 1})
    ->Args({100'000, 1})
    ->Args({1'000'000, 1});

// Samples on a star of triangles whose sides at the centre are all sharp
// (range: triangles, then edge smoothing, as for the fan).
void BM_EvaluateStar(benchmark::State &state) {
  MeshScene scene(korv::testing::folded_star(std::uint32_t(state.range(0))));
  evaluate_samples(state, scene.samples, {"smooth_edge=" + std::to_string(state.range(1))});
}
BENCHMARK(BM_EvaluateStar)->Args({2000, 1})->Args({8000, 1})->Args({2000, 0})->Args({8000, 0});

// The machined block with support loops, the mask in a channel at the default
// output width (a reach of 0.55 m across polygons): /0 without the search
// across polygons, /1 with it.
void BM_EvaluateLoops(benchmark::State &state) {
  Mesh mesh;
  korv::host::builtin_mesh("loops", mesh);
  MeshScene scene(std::move(mesh));
  evaluate_samples(state, scene.samples,
                   {"out_channel=1", "cross_polygons=" + std::to_string(state.range(0))});
}
BENCHMARK(BM_EvaluateLoops)->Arg(0)->Arg(1);

void BM_Evaluate(benchmark::State &state) {
  BoxScene scene;
  evaluate_samples(state, scene.samples, {});
}
BENCHMARK(BM_Evaluate);

// The box's samples with corners blended (first range 1, as a new instance
// has it) and without (0, as a scene saved before the setting loads); at the
// default edge width (second range 0) and at 0.5 (1), where a quarter of the
// samples lie in two bands.
void BM_EvaluateCornerBlend(benchmark::State &state) {
  BoxScene scene;
  evaluate_samples(state, scene.samples,
                   {"corner_blend=" + std::to_string(state.range(0)),
                    state.range(1) != 0 ? "edge_width=0.5" : "edge_width=0.02"});
}
BENCHMARK(BM_EvaluateCornerBlend)->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1});

// One surface on many objects (clones, a kit of parts): the box's samples
// spread over range copies of the box, sample i on copy i modulo range, each
// copy's database built beforehand. Against BM_Evaluate, the cost of finding
// the sample's database among many.
void BM_EvaluateManyObjects(benchmark::State &state) {
  BoxScene scene;
  const std::size_t count = std::size_t(state.range(0));
  std::vector<std::unique_ptr<SceneObject>> copies;
  for (std::size_t k = 1; k < count; ++k) {
    copies.push_back(std::make_unique<SceneObject>(scene.object->mesh()));
  }
  for (std::size_t i = 0; i < kSamples; ++i) {
    if (i % count != 0) {
      scene.samples[i].objID = copies[i % count - 1]->id();
    }
  }
  evaluate_samples(state, scene.samples, {}, count);
}
BENCHMARK(BM_EvaluateManyObjects)->Arg(1)->Arg(256)->Arg(4096);

// A real mesh beside the box: the hammer of the shared meshes (60,160
// triangles, few of whose edges are sharp at the default angle), a sample in
// every fourteenth triangle, spread over all of it.
void BM_EvaluateHammer(benchmark::State &state) {
  const std::string path = std::string(KORV_SHARED_MESHES) + "/hammer.obj";
  Mesh mesh;
  std::string error;
  if (!korv::host::load_mesh_file(path, mesh, error)) {
    state.SkipWithError(("the shared meshes are not there: " + error).c_str());
    return;
  }
  const std::size_t step = std::max<std::size_t>(1, mesh.polygon_count() / kSamples);
  MeshScene scene(std::move(mesh), step);
  evaluate_samples(state, scene.samples, {});
}
BENCHMARK(BM_EvaluateHammer);

// Render threads sharing one instance whose database exists: each of the
// benchmark's threads evaluates its own stream of samples (its own copy of
// the box's samples, starting elsewhere in them), and the threads meet only
// when the measurement starts and stops, as render threads would. samples/s
// is the rate of all threads together, so /2 against /1 shows how far two
// threads scale.
struct SharedSession {
  BoxScene scene;
  std::unique_ptr<korv::host::ShaderSession> session;
  std::string error;
};
std::unique_ptr<SharedSession> shared_session;

void open_shared_session(const benchmark::State &) {
  shared_session = std::make_unique<SharedSession>();
  shared_session->session =
      open_with_database(shared_session->scene.samples, shared_session->error);
}

void close_shared_session(const benchmark::State &) {
  if (shared_session->session) {
    shared_session->session->cleanup();
  }
  shared_session.reset();
}

void BM_EvaluateThreads(benchmark::State &state) {
  korv::host::ShaderSession *session = shared_session->session.get();
  if (!session) {
    state.SkipWithError(shared_session->error.c_str());
    return;
  }
  std::vector<LWShaderAccess> mine = shared_session->scene.samples;
  std::size_t i = std::size_t(state.thread_index()) * kSamples / std::size_t(state.threads());
  for (auto _ : state) {
    session->evaluate(mine[i]);
    benchmark::DoNotOptimize(mine[i]);
    i = (i + 1) % kSamples;
  }
  state.counters["samples/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EvaluateThreads)
    ->Setup(open_shared_session)
    ->Teardown(close_shared_session)
    ->ThreadRange(1, 2)
    ->UseRealTime();

// The edge node on the box's samples, as a host asks it: the Normal output
// alone (range 0), or the Normal, Edge and Distance outputs of each sample
// one after the other (range 1). Against BM_Evaluate, the shader's cost of
// the same samples.
struct NodeScene {
  BoxScene box;
  std::vector<LWShadingGeometry> samples;
  std::unique_ptr<korv::host::NodeSession> session;
  std::vector<const korv::host::NodePort *> asked;
  std::string error;

  explicit NodeScene(bool all_outputs) {
    session =
        korv::host::NodeSession::open(korv::host::default_module_path("Korv_EdgeNode.p"), error);
    if (!session) {
      return;
    }
    samples.resize(box.samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
      korv::host::NodeSession::make_geometry(box.samples[i], korv::host::MatrixWriting::Rows,
                                             samples[i]);
    }
    for (const char *name : {"Normal", "Edge", "Distance"}) {
      if (all_outputs || asked.empty()) {
        asked.push_back(session->output(name));
      }
    }
    session->init();
    session->evaluate(samples[0]);
  }
  ~NodeScene() {
    if (session) {
      session->cleanup();
    }
  }

  // Asks the outputs of one sample after another from start on.
  void ask(benchmark::State &state, std::size_t start) {
    std::size_t i = start;
    double value[3];
    for (auto _ : state) {
      for (const korv::host::NodePort *port : asked) {
        session->ask(samples[i], *port, value);
        benchmark::DoNotOptimize(value);
      }
      i = (i + 1) % kSamples;
    }
    state.counters["samples/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  }
};

void BM_NodeEvaluate(benchmark::State &state) {
  NodeScene scene(state.range(0) != 0);
  if (!scene.session) {
    state.SkipWithError(scene.error.c_str());
    return;
  }
  scene.ask(state, 0);
}
BENCHMARK(BM_NodeEvaluate)->Arg(0)->Arg(1);

// Two render threads sharing one node, each asking its own stream of
// samples for the Normal output; as BM_EvaluateThreads for the shader.
std::unique_ptr<NodeScene> shared_node;

void BM_NodeEvaluateThreads(benchmark::State &state) {
  if (!shared_node->session) {
    state.SkipWithError(shared_node->error.c_str());
    return;
  }
  shared_node->ask(state,
                   std::size_t(state.thread_index()) * kSamples / std::size_t(state.threads()));
}
BENCHMARK(BM_NodeEvaluateThreads)
    ->Setup([](const benchmark::State &) { shared_node = std::make_unique<NodeScene>(false); })
    ->Teardown([](const benchmark::State &) { shared_node.reset(); })
    ->ThreadRange(1, 2)
    ->UseRealTime();

// Only the host calls that one query makes: meshInfo and destroy, polSize,
// polVertex per corner, and two pntBasePos per candidate edge (the sharp
// edges ending at each corner; on the box, every polygon side).
void BM_QueryFloor(benchmark::State &state) {
  BoxScene scene;
  const Mesh &m = scene.object->mesh();
  // Per point, the other ends of its edges.
  std::vector<std::set<std::uint32_t>> ends(m.point_count());
  for (std::size_t p = 0; p < m.polygon_count(); ++p) {
    const auto corners = m.polygon(p);
    for (std::size_t i = 0; i < corners.size(); ++i) {
      const std::uint32_t a = corners[i];
      const std::uint32_t b = corners[(i + 1) % corners.size()];
      ends[a].insert(b);
      ends[b].insert(a);
    }
  }
  std::vector<std::vector<std::pair<LWPntID, LWPntID>>> edges_at(m.point_count());
  for (std::size_t p = 0; p < m.point_count(); ++p) {
    for (std::uint32_t q : ends[p]) {
      edges_at[p].emplace_back(korv::host::point_id(p), korv::host::point_id(q));
    }
  }
  LWObjectInfo *info = korv::host::object_info_service();
  std::size_t i = 0;
  for (auto _ : state) {
    const LWShaderAccess &a = scene.samples[i];
    LWMeshInfo *mesh = info->meshInfo(a.objID, 1);
    const int n = mesh->polSize(mesh, a.polygon);
    float sum = 0.0f;
    for (int v = 0; v < n; ++v) {
      const LWPntID point = mesh->polVertex(mesh, a.polygon, v);
      for (const auto &[pa, pb] : edges_at[korv::host::point_index(point)]) {
        LWFVector pos_a;
        LWFVector pos_b;
        mesh->pntBasePos(mesh, pa, pos_a);
        mesh->pntBasePos(mesh, pb, pos_b);
        sum += pos_a[0] + pos_b[0];
      }
    }
    mesh->destroy(mesh);
    benchmark::DoNotOptimize(sum);
    i = (i + 1) % kSamples;
  }
  state.counters["samples/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_QueryFloor);

}  // namespace
