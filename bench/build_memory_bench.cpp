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
#include <vector>

#include "edges/edge_build.h"
#include "host/box_field.h"
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

// Hard-surface parts: 22,500 closed boxes of six quads, every edge sharp.
[[maybe_unused]] korv::host::Mesh hard_boxes() {
  return korv::host::box_field({22'500, 1, 0});
}

// A subdivided organic shape: a torus of 300 x 450 quads whose section has
// one keel, so that only the rings at the keel are sharp.
[[maybe_unused]] korv::host::Mesh organic_torus() {
  constexpr std::uint32_t kAround = 300;
  constexpr std::uint32_t kSection = 450;
  const double pi = 3.14159265358979323846;
  korv::host::Mesh mesh;
  for (std::uint32_t i = 0; i < kAround; ++i) {
    const double u = 2.0 * pi * i / kAround;
    for (std::uint32_t j = 0; j < kSection; ++j) {
      const double v = 2.0 * pi * j / kSection;
      const double r = j == 0 ? 1.6 : 1.0;
      const double w = 4.0 + r * std::cos(v);
      mesh.add_point(w * std::cos(u), w * std::sin(u), r * std::sin(v));
    }
  }
  for (std::uint32_t i = 0; i < kAround; ++i) {
    for (std::uint32_t j = 0; j < kSection; ++j) {
      const std::uint32_t i1 = (i + 1) % kAround;
      const std::uint32_t j1 = (j + 1) % kSection;
      mesh.add_polygon(
          {i * kSection + j, i1 * kSection + j, i1 * kSection + j1, i * kSection + j1});
    }
  }
  return mesh;
}

// 450 cylinders of 200 wall quads and two 200-corner caps, a row apart.
[[maybe_unused]] korv::host::Mesh capped_cylinders() {
  constexpr std::uint32_t kSides = 200;
  const double pi = 3.14159265358979323846;
  korv::host::Mesh mesh;
  for (std::uint32_t c = 0; c < 450; ++c) {
    const std::uint32_t base = std::uint32_t(mesh.points.size());
    for (std::uint32_t k = 0; k < kSides; ++k) {
      const double a = 2.0 * pi * k / kSides;
      mesh.add_point(3.0 * c + std::cos(a), std::sin(a), 0);
      mesh.add_point(3.0 * c + std::cos(a), std::sin(a), 2);
    }
    std::vector<std::uint32_t> bottom, top;
    for (std::uint32_t k = 0; k < kSides; ++k) {
      bottom.push_back(base + 2 * (kSides - 1 - k));
      top.push_back(base + 2 * k + 1);
      const std::uint32_t a = base + 2 * k, b = base + 2 * ((k + 1) % kSides);
      mesh.add_polygon({a, b, b + 1, a + 1});
    }
    mesh.add_polygon(bottom);
    mesh.add_polygon(top);
  }
  return mesh;
}

// 337 groups of eight 200-corner star polygons over the same 200 points of a
// circle, each at its own step and every other one wound the other way:
// each polygon holds both ends of every side of the others, so every side
// meets a polygon facing away, and is sharp.
[[maybe_unused]] korv::host::Mesh shared_stars() {
  constexpr std::uint32_t kCorners = 200;
  const double pi = 3.14159265358979323846;
  korv::host::Mesh mesh;
  for (std::uint32_t g = 0; g < 337; ++g) {
    const std::uint32_t base = std::uint32_t(mesh.points.size());
    for (std::uint32_t k = 0; k < kCorners; ++k) {
      const double a = 2.0 * pi * k / kCorners;
      mesh.add_point(3.0 * g + std::cos(a), std::sin(a), 0);
    }
    for (std::uint32_t step : {1u, 3u, 7u, 9u, 11u, 13u, 17u, 19u}) {
      std::vector<std::uint32_t> star;
      for (std::uint32_t k = 0; k < kCorners; ++k) {
        star.push_back(base + k * step % kCorners);
      }
      if (step % 4 == 3) {
        std::reverse(star.begin(), star.end());
      }
      mesh.add_polygon(star);
    }
  }
  return mesh;
}

// Argument 0, the mesh: the unwelded (0) or welded (1) triangles, boxes
// (2), the torus (3), cylinders (4) or stars (5); argument 1: open edges
// on (1), cross_polygons on (2) or the defaults (0).
void BM_BuildMemory(benchmark::State &state) {
#if !KORV_COUNT_ALLOCATIONS
  state.SkipWithError("the allocator cannot be counted in this build");
  return;
#else
  static std::map<std::int64_t, std::unique_ptr<SceneObject> > objects;
  using Maker = korv::host::Mesh (*)();
  static constexpr Maker kMakers[] = {unwelded_triangles, welded_triangles, hard_boxes,
                                      organic_torus,      capped_cylinders, shared_stars};
  auto &object = objects[state.range(0)];
  if (!object) {
    object = std::make_unique<SceneObject>(kMakers[state.range(0)](), "mesh");
  }
  korv::EdgeBuildOptions options;
  options.cos_threshold = kCos89_5;
  options.open_edge = state.range(1) == 1 ? 1 : 0;
  options.cross_polygons = state.range(1) == 2;
  options.reach = 0.1 * std::log(256.0);  // the default settings' with a mask
  LWObjectInfo *info = korv::host::object_info_service();
  std::int64_t kept = 0;
  std::int64_t peak = 0;
  std::int64_t work = 0;
  std::int64_t rebuild_peak = 0;
  std::int64_t unkept_rebuild_peak = 0;
  std::size_t edges = 0;
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
    edges = database->edge_list->records.size();
    mesh->destroy(mesh);
    state.PauseTiming();
    korv::empty_edge_cache(&cache);
    // A rebuild in a cache whose area kept the first build's blocks: they
    // count as live from its start, so its peak compares with a first one.
    mesh = info->meshInfo(object->id(), 1);
    database = korv::build_edge_database(cache, object->id(), mesh, options);
    mesh->destroy(mesh);
    korv::empty_edge_cache(&cache);
    // The same rebuild with the area emptied first, in a heap that has seen
    // as many builds: what the area's rebuild peak compares with.
    for (const bool emptied : {false, true}) {
      if (emptied) {
        korv::release_work_area(&cache);
      }
      const auto kept_work = std::int64_t(cache.work_area.bytes());
      mesh = info->meshInfo(object->id(), 1);
      live_bytes = 0;
      peak_bytes = 0;
      counting = true;
      database = korv::build_edge_database(cache, object->id(), mesh, options);
      counting = false;
      (emptied ? unkept_rebuild_peak : rebuild_peak) = kept_work + peak_bytes;
      mesh->destroy(mesh);
      korv::empty_edge_cache(&cache);
      if (database == nullptr) {
        break;
      }
    }
    korv::release_work_area(&cache);
    state.ResumeTiming();
    if (database == nullptr) {
      state.SkipWithError("the rebuild failed");
      break;
    }
  }
  const double corners = double(object->mesh().corners.size());
  state.counters["corners"] = corners;
  state.counters["kept B/corner"] = double(kept) / corners;
  state.counters["peak B/corner"] = double(peak) / corners;
  state.counters["work B/corner"] = double(work) / corners;
  state.counters["rebuild peak B/corner"] = double(rebuild_peak) / corners;
  state.counters["rebuild peak unkept"] = double(unkept_rebuild_peak) / corners;
  state.counters["edges"] = double(edges);
  state.counters["kept B/edge"] = edges != 0 ? double(kept) / double(edges) : 0.0;
#endif
}

BENCHMARK(BM_BuildMemory)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({2, 0})
    ->Args({3, 0})
    ->Args({4, 0})
    ->Args({4, 2})
    ->Args({5, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace
