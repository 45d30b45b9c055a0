// Render throughput through the loaded module at one and two render threads,
// beside the same render without the shader. At 720 x 540 the fixed costs of
// a render (starting its threads, init and cleanup, the first build) no
// longer hide how the per-sample work scales.
#include <benchmark/benchmark.h>

#include <string>

#include "host/builtin_meshes.h"
#include "host/mesh_service.h"
#include "host/module_loader.h"
#include "host/render/renderer.h"
#include "host/shader_session.h"

namespace {

// pass Shaded: every hit goes through the module's evaluate; pass Plain: the
// same render without the shader, the baseline that shows how far the
// machine itself lets two threads scale.
void render_benchmark(benchmark::State &state, korv::host::render::Pass pass) {
  std::string error;
  auto session = korv::host::ShaderSession::open(korv::host::default_module_path(), error);
  if (!session) {
    state.SkipWithError(error.c_str());
    return;
  }
  session->apply_settings({"edge_width=0.1"});
  korv::host::Mesh mesh;
  korv::host::builtin_mesh("machined", mesh);
  korv::host::SceneObject object(std::move(mesh));
  korv::host::render::RayScene scene(object, {}, 0.5);
  korv::host::render::RenderOptions options;
  options.width = 720;
  options.height = 540;
  options.subsamples = 1;
  options.threads = int(state.range(0));
  options.pass = pass;
  long long samples = 0;
  for (auto _ : state) {
    korv::host::render::RenderStats stats;
    benchmark::DoNotOptimize(korv::host::render::render(scene, session.get(), options, &stats));
    samples += stats.samples;
  }
  state.counters["samples/s"] = benchmark::Counter(double(samples), benchmark::Counter::kIsRate);
}
void BM_Render(benchmark::State &state) {
  render_benchmark(state, korv::host::render::Pass::Shaded);
}
void BM_RenderWithoutShader(benchmark::State &state) {
  render_benchmark(state, korv::host::render::Pass::Plain);
}
// Registered in pairs, so that each thread count's render with and without
// the shader stand next to each other in the report.
BENCHMARK(BM_Render)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderWithoutShader)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderWithoutShader)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
