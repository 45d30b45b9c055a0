// korv-soak: a long render's life in the stand-in host, to show that memory
// stays flat. It shades many small frames of a deforming mesh through the
// loaded module with "scan deformed object" on: every frame moves the
// deformed positions and announces a new time (so the object's edges are
// built afresh), and every 100 frames the render ends and a new one starts
// (cleanup, init). It prints the resident memory (VmRSS) after frame 100 and
// after the last frame, and fails when it grew by more than 1 MB.
//
//   korv-soak [FRAMES]      (default 2000; at least 100)
//
// Not a timing test: it reports how long it took, and asserts nothing about
// it. Under a sanitizer, whose allocator holds on to freed memory, the
// figures are printed but not judged.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "host/mesh_service.h"
#include "host/shader_session.h"
#include "tests/e2e/generated_meshes.h"
#include "tests/e2e/sample_grid.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KORV_SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KORV_SOAK_SANITIZED 1
#endif
#endif

namespace {

constexpr int kFramesPerRender = 100;
constexpr long kAllowedGrowthKb = 1024;
constexpr std::uint32_t kGrid = 16;

// Resident memory in kB, from /proc/self/status; -1 when unreadable.
long resident_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return std::strtol(line.c_str() + 6, nullptr, 10);
    }
  }
  return -1;
}

// The grid's deformed positions at a frame: a travelling ripple.
std::vector<korv::host::FloatPoint> ripple(const korv::host::Mesh &mesh, int frame) {
  std::vector<korv::host::FloatPoint> moved = mesh.points;
  const double phase = 0.15 * frame;
  for (korv::host::FloatPoint &p : moved) {
    p[2] = float(p[2] + 0.5 * std::sin(phase + 0.7 * p[0]) * std::cos(0.4 * phase + 0.5 * p[1]));
  }
  return moved;
}

}  // namespace

int main(int argc, char **argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
  if (frames < kFramesPerRender) {
    std::fprintf(stderr, "korv-soak: at least %d frames\n", kFramesPerRender);
    return 2;
  }
  std::string error;
  auto session = korv::host::ShaderSession::open(korv::host::default_module_path(), error);
  if (!session) {
    std::fprintf(stderr, "korv-soak: %s\n", error.c_str());
    return 1;
  }
  error = session->apply_settings(
      {"use_deform=1", "open_edge=1", "edge_width=0.2", "out_channel=1", "edge_dangle=20deg"});
  if (!error.empty()) {
    std::fprintf(stderr, "korv-soak: %s\n", error.c_str());
    return 1;
  }
  korv::host::SceneObject object(korv::testing::bumpy_grid(kGrid, 11));
  const std::vector<LWShaderAccess> samples = korv::testing::samples_over_mesh(object, 96);
  korv::host::reset_mesh_service_counts();

  const auto start = std::chrono::steady_clock::now();
  long after_first_render = -1;
  long changed = 0;
  for (int frame = 0; frame < frames; ++frame) {
    if (frame % kFramesPerRender == 0) {
      session->init();
    }
    object.set_deformed(ripple(object.mesh(), frame));
    session->new_time(frame, frame / 24.0);
    for (const LWShaderAccess &s : samples) {
      LWShaderAccess shaded = s;
      session->evaluate(shaded);
      changed += shaded.luminous != s.luminous ? 1 : 0;
    }
    if (frame % kFramesPerRender == kFramesPerRender - 1 || frame == frames - 1) {
      session->cleanup();
    }
    if (frame + 1 == kFramesPerRender) {
      after_first_render = resident_kb();
    }
  }
  const long at_end = resident_kb();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const korv::host::MeshServiceCounts counts = korv::host::mesh_service_counts();

  std::printf("korv-soak: %d frames of %zu samples in %.1f s; %ld samples changed\n", frames,
              samples.size(), seconds, changed);
  std::printf("VmRSS after frame %d: %ld kB\n", kFramesPerRender, after_first_render);
  std::printf("VmRSS after frame %d: %ld kB\n", frames, at_end);
  std::printf("growth: %ld kB (allowed %ld kB)\n", at_end - after_first_render, kAllowedGrowthKb);
  std::printf("mesh-info handles: %ld handed out, %ld released, %ld live, %ld released twice\n",
              counts.mesh_info, counts.destroy, counts.live, counts.stray_destroy);

  bool ok = counts.live == 0 && counts.stray_destroy == 0 && counts.destroy == counts.mesh_info;
  // Each frame's database is built from the deformed mesh: the shader must
  // have treated samples at all, or the soak soaked nothing.
  ok = ok && changed > 0;
#ifdef KORV_SOAK_SANITIZED
  std::printf("built with a sanitizer: the memory figures are not judged\n");
#else
  ok = ok && after_first_render > 0 && at_end - after_first_render <= kAllowedGrowthKb;
#endif
  std::printf("korv-soak: %s\n", ok ? "passed" : "FAILED");
  return ok ? 0 : 1;
}
