// The edge database build on generated box fields of about 10k, 100k and 1M
// polygons, beside the floor it cannot beat: the same four host scans with
// callbacks that only read each corner and each position once.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "edges/edge_build.h"
#include "host/box_field.h"
#include "host/mesh_service.h"
#include "tests/e2e/generated_meshes.h"

namespace {

using korv::host::SceneObject;

constexpr double kCos89_5 = 0.0087265354983739347;

// One scene object per size, made once and kept for the whole run.
SceneObject &field(std::int64_t polygons) {
  static std::map<std::int64_t, std::unique_ptr<SceneObject>> objects;
  auto &object = objects[polygons];
  if (!object) {
    object = std::make_unique<SceneObject>(
        korv::host::box_field_with_polygons(std::size_t(polygons)), "box field");
  }
  return *object;
}

std::size_t corner_count(const korv::host::Mesh &mesh) {
  return mesh.corners.size();
}

void set_rates(benchmark::State &state, const korv::host::Mesh &mesh) {
  const double polygons = double(mesh.polygon_count());
  state.counters["polygons"] = polygons;
  state.counters["polygons/s"] =
      benchmark::Counter(polygons * double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["ns/polygon"] =
      benchmark::Counter(polygons * double(state.iterations()) / 1e9,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The build with the given options; bytes/corner counts everything the
// database keeps. A first build has a cache of its own; a rebuild the cache
// of the builds before it, with their working memory (a deformed object
// built again at each frame).
void build_edges(benchmark::State &state, const korv::EdgeBuildOptions &options,
                 bool rebuild = false) {
  SceneObject &object = field(state.range(0));
  LWObjectInfo *info = korv::host::object_info_service();
  double bytes_per_corner = 0.0;
  double list_bytes = 0.0;
  std::size_t edges = 0;
  korv::EdgeCache earlier;
  if (rebuild) {
    LWMeshInfo *mesh = info->meshInfo(object.id(), 1);
    if (korv::build_edge_database(earlier, object.id(), mesh, options) == nullptr) {
      state.SkipWithError("the build failed");
      return;
    }
    mesh->destroy(mesh);
    korv::empty_edge_cache(&earlier);
  }
  for (auto _ : state) {
    korv::EdgeCache fresh;
    korv::EdgeCache &cache = rebuild ? earlier : fresh;
    LWMeshInfo *mesh = info->meshInfo(object.id(), 1);
    korv::ObjectEdgeDatabase *database =
        korv::build_edge_database(cache, object.id(), mesh, options);
    if (database == nullptr) {
      state.SkipWithError("the build failed");
      break;
    }
    mesh->destroy(mesh);
    const auto &records = database->edge_list->records;
    edges = records.size();
    const std::size_t bytes = database->points.memory_bytes() + sizeof(korv::EdgeList) +
                              records.capacity() * sizeof(korv::EdgeRecord) +
                              (database->shells ? database->shells->memory_bytes() : 0) +
                              (database->corners ? database->corners->memory_bytes() : 0) +
                              database->polygons.memory_bytes();
    list_bytes = double(database->polygons.memory_bytes());
    bytes_per_corner = double(bytes) / double(corner_count(object.mesh()));
    state.PauseTiming();
    korv::empty_edge_cache(&cache);
    korv::release_work_area(&fresh);
    state.ResumeTiming();
  }
  set_rates(state, object.mesh());
  state.counters["edges"] = double(edges);
  state.counters["bytes/corner"] = bytes_per_corner;
  if (options.list_polygons) {
    state.counters["list bytes/polygon"] = list_bytes / double(object.mesh().polygon_count());
  }
}

korv::EdgeBuildOptions with_open_edges() {
  korv::EdgeBuildOptions options;
  options.cos_threshold = kCos89_5;
  options.open_edge = 1;
  return options;
}

// Argument 1: a first build (0) or a rebuild (1).
void BM_BuildEdges(benchmark::State &state) {
  build_edges(state, with_open_edges(), state.range(1) != 0);
}

// With cross_polygons on, at the reach of the default settings with a mask
// channel chosen (out_width 0.1: 0.55 m).
void BM_BuildEdgesAcross(benchmark::State &state) {
  korv::EdgeBuildOptions options = with_open_edges();
  options.cross_polygons = true;
  options.reach = 0.1 * std::log(256.0);
  build_edges(state, options);
}

// Keeping the list of the polygons scanned, as the node's builds do.
void BM_BuildEdgesListed(benchmark::State &state) {
  korv::EdgeBuildOptions options = with_open_edges();
  options.list_polygons = true;
  build_edges(state, options);
}

// Keeping the outside edges only.
void BM_BuildEdgesOutside(benchmark::State &state) {
  korv::EdgeBuildOptions options = with_open_edges();
  options.edge_kind = korv::EdgeKind::Convex;
  build_edges(state, options);
}

// Unusual meshes whose build must stay linear in the corners: each is built
// at two sizes, and its ns/corner should not grow with the size.
using MeshMaker = korv::host::Mesh (*)(std::int64_t);

void build_unusual(benchmark::State &state, MeshMaker make, korv::EdgeKind kind) {
  static std::map<std::pair<MeshMaker, std::int64_t>, std::unique_ptr<SceneObject>> objects;
  auto &object = objects[{make, state.range(0)}];
  if (!object) {
    object = std::make_unique<SceneObject>(make(state.range(0)), "unusual");
  }
  korv::EdgeBuildOptions options = with_open_edges();
  options.edge_kind = kind;
  LWObjectInfo *info = korv::host::object_info_service();
  for (auto _ : state) {
    korv::EdgeCache cache;
    LWMeshInfo *mesh = info->meshInfo(object->id(), 1);
    if (korv::build_edge_database(cache, object->id(), mesh, options) == nullptr) {
      state.SkipWithError("the build failed");
      break;
    }
    mesh->destroy(mesh);
    state.PauseTiming();
    korv::empty_edge_cache(&cache);
    state.ResumeTiming();
  }
  const double corners = double(object->mesh().corners.size());
  state.counters["corners"] = corners;
  state.counters["ns/corner"] =
      benchmark::Counter(corners * double(state.iterations()) / 1e9,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_BuildHubPolygonOutside(benchmark::State &state) {
  // The hub has 2 x size uses; every side is sharp and judged.
  build_unusual(
      state, [](std::int64_t k) { return korv::testing::hub_polygon_fan(std::uint32_t(k)); },
      korv::EdgeKind::Convex);
}
void BM_BuildCardsAfterBoxes(benchmark::State &state) {
  build_unusual(
      state, [](std::int64_t boxes) { return korv::testing::boxes_then_cards(std::size_t(boxes)); },
      korv::EdgeKind::Both);
}
void BM_BuildHubGrid(benchmark::State &state) {
  build_unusual(
      state, [](std::int64_t k) { return korv::testing::hub_grid(std::uint32_t(k)); },
      korv::EdgeKind::Both);
}
// k x k polygons (X_i, Y_j, Z_1 .. Z_7), every point a hub: each side X_i-Y_j
// lies in its own polygon only.
void BM_BuildHubGridShared(benchmark::State &state) {
  build_unusual(
      state, [](std::int64_t k) { return korv::testing::hub_grid(std::uint32_t(k), false, 7); },
      korv::EdgeKind::Both);
}
// The plain mesh beside it: closed boxes of one quad a side (24 corners, each
// point used three times), as many corners as the hub grid at each size, so
// that what both builds gain per corner with the size (memory, caches) is
// told apart from what the hubs' neighbour search adds.
void BM_BuildBoxesLikeHubGrid(benchmark::State &state) {
  build_unusual(
      state,
      [](std::int64_t boxes) {
        korv::host::BoxFieldOptions options;
        options.boxes = std::size_t(boxes);
        options.subdivisions = 1;
        options.open_every = 0;
        return korv::host::box_field(options);
      },
      korv::EdgeKind::Both);
}

// The scan floor: each polygon scan reads every corner once, the point scan
// every position once, and nothing else is done.
struct FloorSink {
  LWMeshInfo *mesh;
  std::uintptr_t sum = 0;
  float position_sum = 0.0f;
};

LWScanResult read_corners(void *user, LWPolID polygon) {
  auto &sink = *static_cast<FloorSink *>(user);
  const int n = sink.mesh->polSize(sink.mesh, polygon);
  for (int i = 0; i < n; ++i) {
    sink.sum += reinterpret_cast<std::uintptr_t>(sink.mesh->polVertex(sink.mesh, polygon, i));
  }
  return 0;
}

LWScanResult read_position(void *user, LWPntID point) {
  auto &sink = *static_cast<FloorSink *>(user);
  LWFVector pos;
  sink.mesh->pntBasePos(sink.mesh, point, pos);
  sink.position_sum += pos[0];
  return 0;
}

void BM_BuildScansFloor(benchmark::State &state) {
  SceneObject &object = field(state.range(0));
  LWObjectInfo *info = korv::host::object_info_service();
  for (auto _ : state) {
    LWMeshInfo *mesh = info->meshInfo(object.id(), 1);
    FloorSink sink{mesh};
    for (int pass = 0; pass < 3; ++pass) {
      mesh->scanPolys(mesh, read_corners, &sink);
    }
    mesh->scanPoints(mesh, read_position, &sink);
    benchmark::DoNotOptimize(sink.sum);
    benchmark::DoNotOptimize(sink.position_sum);
    mesh->destroy(mesh);
  }
  set_rates(state, object.mesh());
}

BENCHMARK(BM_BuildEdges)
    ->ArgsProduct({{10'000, 100'000, 1'000'000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildEdgesListed)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildEdgesAcross)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildEdgesOutside)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildHubPolygonOutside)->Arg(10'000)->Arg(20'000)->Unit(benchmark::kMillisecond);
// 1,048,344 and 2,096,952 corners: just below powers of two.
BENCHMARK(BM_BuildCardsAfterBoxes)->Arg(3'971)->Arg(7'943)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildHubGrid)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);
// 147,456 and 2,359,296 corners.
BENCHMARK(BM_BuildHubGridShared)->Arg(128)->Arg(512)->Unit(benchmark::kMillisecond);
// The same corner counts: 6,144 and 98,304 boxes.
BENCHMARK(BM_BuildBoxesLikeHubGrid)->Arg(6'144)->Arg(98'304)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildScansFloor)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
