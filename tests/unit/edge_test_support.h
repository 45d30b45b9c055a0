// Helpers shared by the edge database tests: a database built over the
// stand-in host's mesh service, compared with the slow reference build of
// tests/reference (a plain-value snapshot built by walking lists the obvious
// way).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <vector>

#include "edges/edge_build.h"
#include "host/mesh_service.h"
#include "tests/reference/edge_reference.h"

namespace korv::testing {

inline constexpr double kCos89_5 = 0.0087265354983739347;  // cos(89.5 degrees)

// An object registered with the host's mesh service and its database, built
// by the module's build_edge_database. The mesh-info handle is released on
// success; on failure the build has released it.
struct BuiltMesh {
  explicit BuiltMesh(host::Mesh mesh, BuildOptions options = {},
                     const host::MeshFaults &faults = {})
      : object(std::move(mesh)) {
    object.faults = faults;
    LWMeshInfo *info = host::object_info_service()->meshInfo(object.id(), 1);
    if (info == nullptr) {
      return;
    }
    database = build_edge_database(cache, object.id(), info, module_options(options));
    if (database != nullptr && info->destroy != nullptr) {
      info->destroy(info);
    }
  }
  ~BuiltMesh() { empty_edge_cache(&cache); }
  BuiltMesh(const BuiltMesh &) = delete;
  BuiltMesh &operator=(const BuiltMesh &) = delete;

  const Array<EdgeRecord> &edges() const { return database->edge_list->records; }
  const PointRecord *point(std::size_t index) const {
    return database->points.find(host::point_id(index));
  }
  // The position of a record in the edge list.
  std::size_t edge_index(const EdgeRecord *edge) const {
    return static_cast<std::size_t>(edge - edges().data());
  }

  host::SceneObject object;
  EdgeCache cache;
  ObjectEdgeDatabase *database = nullptr;
};

// The reference snapshot of object's mesh, read through a handle of its own.
inline EdgeSnapshot reference_snapshot(const host::SceneObject &object, BuildOptions options) {
  LWMeshInfo *info = host::object_info_service()->meshInfo(object.id(), 1);
  EdgeSnapshot s;
  EXPECT_TRUE(ReferenceBuild(info, options).run(s));
  info->destroy(info);
  return s;
}

// Compares two snapshots entry by entry, naming the first difference.
inline void expect_same(const EdgeSnapshot &built, const EdgeSnapshot &reference) {
  EXPECT_EQ(describe_difference(built, reference), "");
}

// The same mesh built as the fronts build it keeps reference thinned.
inline void expect_thinned_as_reference(const host::Mesh &mesh, BuildOptions options,
                                        const EdgeSnapshot &reference) {
  options.thin = true;
  BuiltMesh thin(mesh, options);
  ASSERT_NE(thin.database, nullptr);
  const EdgeSnapshot kept = thinned(reference);
  expect_same(snapshot(*thin.database), kept);
  // Every point is found at its kept entry, or found to have none.
  for (std::size_t i = 0; i < mesh.points.size(); ++i) {
    const std::uintptr_t key = point_key(host::point_id(i));
    const auto at = std::find_if(kept.points.begin(), kept.points.end(),
                                 [&](const EdgeSnapshot::Point &p) { return p.key == key; });
    const std::ptrdiff_t expected = at == kept.points.end() ? -1 : at - kept.points.begin();
    ASSERT_EQ(thin.database->points.entry_index(host::point_id(i)), expected) << "point " << i;
  }
}

inline void expect_same_as_reference(const BuiltMesh &built, BuildOptions options) {
  ASSERT_NE(built.database, nullptr);
  const EdgeSnapshot reference = reference_snapshot(built.object, options);
  expect_same(snapshot(*built.database), reference);
  expect_thinned_as_reference(built.object.mesh(), options, reference);
}

}  // namespace korv::testing
