// The stand-in host's accounting of mesh-info handles: what the tests of the
// module rely on to see a handle leaked or released twice, kept per thread so
// that render threads do not wait for one another in the host.
#include "host/mesh_service.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "host/builtin_meshes.h"

namespace korv::host {
namespace {

Mesh cube() {
  Mesh m;
  EXPECT_TRUE(builtin_mesh("cube", m));
  return m;
}

LWMeshInfo *mesh_info(const SceneObject &object) {
  return object_info_service()->meshInfo(object.id(), 1);
}

TEST(MeshService, CountsHandlesGivenOutAndReleased) {
  SceneObject object(cube());
  reset_mesh_service_counts();
  const long live_before = mesh_service_counts().live;
  LWMeshInfo *a = mesh_info(object);
  LWMeshInfo *b = mesh_info(object);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(mesh_service_counts().mesh_info, 2);
  EXPECT_EQ(mesh_service_counts().live, live_before + 2);
  a->destroy(a);
  EXPECT_EQ(mesh_service_counts().destroy, 1);
  EXPECT_EQ(mesh_service_counts().live, live_before + 1);
  b->destroy(b);
  const MeshServiceCounts counts = mesh_service_counts();
  EXPECT_EQ(counts.destroy, 2);
  EXPECT_EQ(counts.stray_destroy, 0);
  EXPECT_EQ(counts.live, live_before);
}

TEST(MeshService, SecondDestroyOfAHandleIsCountedAsStrayAndIgnored) {
  SceneObject object(cube());
  reset_mesh_service_counts();
  LWMeshInfo *a = mesh_info(object);
  a->destroy(a);
  a->destroy(a);
  MeshServiceCounts counts = mesh_service_counts();
  EXPECT_EQ(counts.destroy, 1);
  EXPECT_EQ(counts.stray_destroy, 1);
  // The released handle is handed out again; the stray destroy did not
  // release it a second time, so the new owner still holds it.
  LWMeshInfo *again = mesh_info(object);
  EXPECT_EQ(again->polSize(again, polygon_id(0)), 4);
  again->destroy(again);
  counts = mesh_service_counts();
  EXPECT_EQ(counts.destroy, 2);
  EXPECT_EQ(counts.stray_destroy, 1);
}

TEST(MeshService, ResetMovesTheZeroOfTheCountsButKeepsLiveHandles) {
  SceneObject object(cube());
  LWMeshInfo *held = mesh_info(object);
  const long live = mesh_service_counts().live;
  reset_mesh_service_counts();
  MeshServiceCounts counts = mesh_service_counts();
  EXPECT_EQ(counts.mesh_info, 0);
  EXPECT_EQ(counts.destroy, 0);
  EXPECT_EQ(counts.live, live);
  held->destroy(held);
  counts = mesh_service_counts();
  EXPECT_EQ(counts.destroy, 1);
  EXPECT_EQ(counts.live, live - 1);
}

TEST(MeshService, AnItemThatIsNoSceneObjectGetsNoMesh) {
  auto object = std::make_unique<SceneObject>(cube());
  // Kept as a number: the host must recognise the id as gone, never touch it.
  volatile std::uintptr_t id = reinterpret_cast<std::uintptr_t>(object->id());
  LWMeshInfo *info = object_info_service()->meshInfo(reinterpret_cast<LWItemID>(id), 1);
  ASSERT_NE(info, nullptr);
  info->destroy(info);
  object.reset();
  EXPECT_EQ(object_info_service()->meshInfo(reinterpret_cast<LWItemID>(id), 1), nullptr);
  int not_an_object = 0;
  EXPECT_EQ(object_info_service()->meshInfo(reinterpret_cast<LWItemID>(&not_an_object), 1),
            nullptr);
}

// Threads that come and go, each giving out and releasing handles (some of
// them released on another thread than the one that got them): the counts
// add up over all of them, ended threads included.
TEST(MeshServiceThreads, CountsOfThreadsThatHaveEndedAndOfRunningOnesAddUp) {
  SceneObject object(cube());
  reset_mesh_service_counts();
  const long live_before = mesh_service_counts().live;
  constexpr int kThreads = 4;
  constexpr int kCalls = 500;
  std::vector<LWMeshInfo *> handed_over(kThreads, nullptr);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        LWMeshInfo *info = mesh_info(object);
        info->destroy(info);
      }
      handed_over[std::size_t(t)] = mesh_info(object);  // released below, on another thread
    });
  }
  for (std::thread &thread : threads) {
    thread.join();
  }
  MeshServiceCounts counts = mesh_service_counts();
  EXPECT_EQ(counts.mesh_info, kThreads * (kCalls + 1));
  EXPECT_EQ(counts.destroy, kThreads * kCalls);
  EXPECT_EQ(counts.live, live_before + kThreads);
  for (LWMeshInfo *info : handed_over) {
    info->destroy(info);
  }
  counts = mesh_service_counts();
  EXPECT_EQ(counts.destroy, kThreads * (kCalls + 1));
  EXPECT_EQ(counts.stray_destroy, 0);
  EXPECT_EQ(counts.live, live_before);
}

}  // namespace
}  // namespace korv::host
