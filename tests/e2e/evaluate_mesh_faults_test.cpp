// Samples on an object whose host lets the module down, evaluated through
// the loaded module: scans that fail part-way, a polSize that reports absurd
// corner counts, a mesh that changes between scans, mesh-info objects without
// destroy, no mesh info at all. Nothing escapes into the host: a build that
// cannot finish leaves the samples untouched and keeps only the failure (no
// retry before a new time or setting), and every handle is released once.
#include <climits>
#include <functional>
#include <memory>

#include "evaluate_fixture.h"
#include "instance/edge_instance.h"

namespace korv::testing {
namespace {

enum class Outcome { Untouched, Changed, Either };

struct HostFault {
  const char *name;
  std::function<host::MeshFaults()> faults;
  Outcome outcome;
  // Scans the host runs for the samples' one build attempt (4 on success).
  long scans;
  bool keeps_database;
};

void PrintTo(const HostFault &c, std::ostream *out) {
  *out << c.name;
}

constexpr int kSamples = 5;

host::MeshFaults failing_scan(int scan, std::size_t visits) {
  host::MeshFaults f;
  f.fail_scan = scan;
  f.fail_scan_visits = visits;
  return f;
}

host::MeshFaults absurd(std::size_t polygon, int size) {
  host::MeshFaults f;
  f.absurd_polygon = polygon;
  f.absurd_size = size;
  return f;
}

// From scan `after` + 1 on, the cube shows only every other face.
host::MeshFaults shrinking(int after) {
  auto half = std::make_shared<host::Mesh>(meshes::cube());
  half->corners.clear();
  half->polygon_start = {0};
  const host::Mesh cube = meshes::cube();
  for (std::size_t p = 0; p < cube.polygon_count(); p += 2) {
    half->add_polygon(cube.polygon(p));
  }
  host::MeshFaults f;
  f.mutate_after_scan = after;
  f.alt_mesh = half;
  return f;
}

class EvaluateUnderHostFaults : public EvaluateTest,
                                public ::testing::WithParamInterface<HostFault> {};

TEST_P(EvaluateUnderHostFaults, NothingEscapesAndEveryHandleIsReleasedOnce) {
  const HostFault &c = GetParam();
  set({"out_channel=1"});
  host::SceneObject &cube = add_object(meshes::cube());
  cube.faults = c.faults();
  session_->init();
  host::reset_mesh_service_counts();

  // On the cube's +z face (polygon 1), from its middle to its +x edge.
  int changed = 0;
  for (int i = 0; i < kSamples; ++i) {
    const double x = 0.6 + 0.1 * i;
    const LWShaderAccess in = sample(cube, 1, {x, 0.0, 1.0}, {0, 0, 1}, {x, 0.0, 10.0});
    const LWShaderAccess out = evaluated(in);
    changed += same_bits(in, out) ? 0 : 1;
  }
  switch (c.outcome) {
    case Outcome::Untouched:
      EXPECT_EQ(changed, 0);
      break;
    case Outcome::Changed:
      EXPECT_GT(changed, 0);
      break;
    case Outcome::Either:
      break;
  }

  const host::MeshServiceCounts counts = host::mesh_service_counts();
  EXPECT_EQ(counts.scans, c.scans);
  EXPECT_EQ(counts.stray_destroy, 0);
  EXPECT_EQ(counts.live, 0);
  EXPECT_EQ(counts.destroy, cube.faults.no_destroy ? 0 : counts.mesh_info);
  EXPECT_EQ(counts.builds, c.scans > 0 ? 1 : 0);
  const auto *instance = static_cast<const EdgeInstance *>(session_->instance());
  EXPECT_EQ(instance->cache->databases.size(), c.keeps_database ? 1u : 0u);

  // A new time lets a failed build be tried again; a changed setting rebuilds.
  const LWShaderAccess later = sample(cube, 1, {0.9, 0.0, 1.0}, {0, 0, 1}, {0.9, 0.0, 10.0});
  session_->new_time(1, 0.04);
  evaluated(later);
  set({"out_width=0.2"});
  evaluated(later);
  EXPECT_EQ(host::mesh_service_counts().scans, counts.scans + (c.keeps_database ? 1 : 2) * c.scans);
  session_->cleanup();
  EXPECT_TRUE(instance->cache->databases.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EvaluateUnderHostFaults,
    ::testing::Values(HostFault{"FirstScanFails", [] { return failing_scan(1, 0); },
                                Outcome::Untouched, 1, false},
                      HostFault{"PointScanFailsPartWay", [] { return failing_scan(4, 3); },
                                Outcome::Untouched, 4, false},
                      HostFault{"PolSizeClaimsMoreCornersThanIntHolds",
                                [] { return absurd(3, INT_MAX); }, Outcome::Untouched, 1, false},
                      HostFault{"PolSizeOfTheShadedPolygonIsNegative", [] { return absurd(1, -1); },
                                Outcome::Untouched, 4, true},
                      HostFault{"PolSizeOfAnotherPolygonIsIntMin",
                                [] { return absurd(3, INT_MIN); }, Outcome::Changed, 4, true},
                      HostFault{"MeshShrinksAfterTheCount", [] { return shrinking(1); },
                                Outcome::Either, 4, true},
                      HostFault{"MeshShrinksBeforeThePointScan", [] { return shrinking(3); },
                                Outcome::Either, 4, true},
                      HostFault{"NoDestroy",
                                [] {
                                  host::MeshFaults f;
                                  f.no_destroy = true;
                                  return f;
                                },
                                Outcome::Changed, 4, true},
                      HostFault{"NoMeshInfo",
                                [] {
                                  host::MeshFaults f;
                                  f.null_mesh_info = true;
                                  return f;
                                },
                                Outcome::Untouched, 0, false}),
    [](const ::testing::TestParamInfo<HostFault> &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korv::testing
