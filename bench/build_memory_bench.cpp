// The edge database's memory per corner: what a build keeps, and the most
// it holds at once while building, counted at the allocator. The process's
// malloc, calloc, realloc and free are replaced by glibc's own behind a
// counter that runs only inside the measured builds, so the other
// benchmarks pay one untaken branch per call. Where the allocator cannot be
// replaced (sanitizer trees, other C libraries) the benchmark skips.
//
// A realloc that moves the block counts both blocks at once, as a copy
// holds them; one that stays in place counts the difference only.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>

#include "edges/edge_build.h"
#include "host/mesh_service.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define KORV_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KORV_SANITIZED 1
#endif
#if defined(__GLIBC__) && !defined(KORV_SANITIZED)
#define KORV_COUNT_ALLOCATIONS 1
#include <malloc.h>
#endif

namespace {

std::atomic<bool> counting{false};
std::atomic<std::int64_t> live_bytes{0};
std::atomic<std::int64_t> peak_bytes{0};

#if KORV_COUNT_ALLOCATIONS
void note_peak(std::int64_t live) {
  std::int64_t peak = peak_bytes.load(std::memory_order_relaxed);
  while (live > peak && !peak_bytes.compare_exchange_weak(peak, live)) {
  }
}
void add_block(void *block) {
  if (block != nullptr && counting.load(std::memory_order_relaxed)) {
    note_peak(live_bytes += std::int64_t(malloc_usable_size(block)));
  }
}
void remove_block(void *block) {
  if (block != nullptr && counting.load(std::memory_order_relaxed)) {
    live_bytes -= std::int64_t(malloc_usable_size(block));
  }
}
#endif

}  // namespace

#if KORV_COUNT_ALLOCATIONS
extern "C" {
void *__libc_malloc(std::size_t);
void *__libc_calloc(std::size_t, std::size_t);
void *__libc_realloc(void *, std::size_t);
void __libc_free(void *);

void *malloc(std::size_t size) {
  void *block = __libc_malloc(size);
  add_block(block);
  return block;
}
void *calloc(std::size_t count, std::size_t size) {
  void *block = __libc_calloc(count, size);
  add_block(block);
  return block;
}
void free(void *block) {
  remove_block(block);
  __libc_free(block);
}
void *realloc(void *block, std::size_t size) {
  if (!counting.load(std::memory_order_relaxed) || block == nullptr) {
    void *grown = __libc_realloc(block, size);
    add_block(block == nullptr ? grown : nullptr);
    return grown;
  }
  const auto before = std::int64_t(malloc_usable_size(block));
  void *grown = __libc_realloc(block, size);
  if (grown == nullptr) {
    // size 0 frees the block; otherwise it is kept as it was.
    live_bytes -= size == 0 ? before : 0;
    return grown;
  }
  const auto after = std::int64_t(malloc_usable_size(grown));
  if (grown == block) {
    note_peak(live_bytes += after - before);
  } else {
    note_peak(live_bytes += after);
    live_bytes -= before;
  }
  return grown;
}
}
#endif

namespace {

using korv::host::SceneObject;

constexpr double kCos89_5 = 0.0087265354983739347;
// 180k triangles: 540k corners.
constexpr std::uint32_t kGridSide = 300;

// Triangles each on three points of their own, as unwelding a mesh for hard
// edges leaves it: a 300 x 300 grid of quads cut in two, every triangle
// apart.
[[maybe_unused]] korv::host::Mesh unwelded_triangles() {
  korv::host::Mesh mesh;
  for (std::uint32_t j = 0; j < kGridSide; ++j) {
    for (std::uint32_t i = 0; i < kGridSide; ++i) {
      const std::uint32_t a = mesh.add_point(i, j, 0);
      const std::uint32_t b = mesh.add_point(i + 1, j, 0);
      const std::uint32_t c = mesh.add_point(i + 1, j + 1, 0);
      mesh.add_polygon({a, b, c});
      const std::uint32_t d = mesh.add_point(i, j, 0);
      const std::uint32_t e = mesh.add_point(i + 1, j + 1, 0);
      const std::uint32_t f = mesh.add_point(i, j + 1, 0);
      mesh.add_polygon({d, e, f});
    }
  }
  return mesh;
}

// The same triangles on shared points.
[[maybe_unused]] korv::host::Mesh welded_triangles() {
  korv::host::Mesh mesh;
  for (std::uint32_t j = 0; j <= kGridSide; ++j) {
    for (std::uint32_t i = 0; i <= kGridSide; ++i) {
      mesh.add_point(i, j, 0);
    }
  }
  for (std::uint32_t j = 0; j < kGridSide; ++j) {
    for (std::uint32_t i = 0; i < kGridSide; ++i) {
      const std::uint32_t a = j * (kGridSide + 1) + i;
      mesh.add_polygon({a, a + 1, a + kGridSide + 2});
      mesh.add_polygon({a, a + kGridSide + 2, a + kGridSide + 1});
    }
  }
  return mesh;
}

// Argument 0: welded (1) or not (0); argument 1: open edges on (1) or the
// defaults (0).
void BM_BuildMemory(benchmark::State &state) {
#if !KORV_COUNT_ALLOCATIONS
  state.SkipWithError("the allocator cannot be counted in this build");
  return;
#else
  static std::map<bool, std::unique_ptr<SceneObject> > objects;
  const bool welded = state.range(0) != 0;
  auto &object = objects[welded];
  if (!object) {
    object = std::make_unique<SceneObject>(welded ? welded_triangles() : unwelded_triangles(),
                                           "triangles");
  }
  korv::EdgeBuildOptions options;
  options.cos_threshold = kCos89_5;
  options.open_edge = std::int32_t(state.range(1));
  LWObjectInfo *info = korv::host::object_info_service();
  std::int64_t kept = 0;
  std::int64_t peak = 0;
  std::int64_t work = 0;
  for (auto _ : state) {
    korv::EdgeCache cache;
    if (!cache.databases.reserve(1)) {
      state.SkipWithError("out of memory");
      break;
    }
    LWMeshInfo *mesh = info->meshInfo(object->id(), 1);
    live_bytes = 0;
    peak_bytes = 0;
    counting = true;
    korv::ObjectEdgeDatabase *database =
        korv::build_edge_database(cache, object->id(), mesh, options);
    // The working memory the cache keeps for its next build is not the
    // database's.
    work = std::int64_t(cache.work_area.bytes());
    korv::release_work_area(&cache);
    counting = false;
    if (database == nullptr) {
      state.SkipWithError("the build failed");
      break;
    }
    kept = live_bytes;
    peak = peak_bytes;
    mesh->destroy(mesh);
    state.PauseTiming();
    korv::empty_edge_cache(&cache);
    state.ResumeTiming();
  }
  const double corners = double(object->mesh().corners.size());
  state.counters["corners"] = corners;
  state.counters["kept B/corner"] = double(kept) / corners;
  state.counters["peak B/corner"] = double(peak) / corners;
  state.counters["work B/corner"] = double(work) / corners;
#endif
}

BENCHMARK(BM_BuildMemory)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
