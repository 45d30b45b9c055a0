#include "mesh_seeds.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "host/builtin_meshes.h"
#include "host/mesh_io.h"
#include "mesh_case.h"

namespace korv::fuzz {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool put(const std::string &dir, const std::string &name, const MeshCase &c) {
  const std::vector<std::uint8_t> bytes = encode_mesh_case(c);
  std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

// At most max_polygons polygons from first on, with at most max_corners
// corners, their points renumbered in order of first use.
host::Mesh cut(const host::Mesh &mesh, std::size_t first, std::size_t max_polygons,
               std::size_t max_corners) {
  host::Mesh part;
  std::map<std::uint32_t, std::uint32_t> renumbered;
  std::size_t corners = 0;
  for (std::size_t p = first; p < mesh.polygon_count() && part.polygon_count() < max_polygons;
       ++p) {
    const auto polygon = mesh.polygon(p);
    if (corners + polygon.size() > max_corners) {
      break;
    }
    corners += polygon.size();
    std::vector<std::uint32_t> indices;
    for (std::uint32_t point : polygon) {
      auto [it, added] = renumbered.emplace(point, std::uint32_t(part.points.size()));
      if (added) {
        part.points.push_back(point < mesh.point_count() ? mesh.points[point]
                                                         : host::FloatPoint{0, 0, 0});
        if (!mesh.deformed.empty()) {
          part.deformed.push_back(point < mesh.deformed.size() ? mesh.deformed[point]
                                                               : host::FloatPoint{0, 0, 0});
        }
      }
      indices.push_back(it->second);
    }
    part.add_polygon(indices);
  }
  return part;
}

// Samples spread over the mesh's polygons: near a side, a little further in
// and at the centre, seen from a few directions.
std::vector<SampleSpec> spread_samples(const host::Mesh &mesh, std::size_t count) {
  std::vector<SampleSpec> samples;
  const std::size_t polygons = mesh.polygon_count();
  if (polygons == 0) {
    return samples;
  }
  constexpr std::uint8_t kInsets[] = {0, 2, 6, 20, 60, 255};
  for (std::size_t i = 0; i < count; ++i) {
    SampleSpec s;
    s.polygon = std::uint16_t((i * polygons) / count);
    s.corner = std::uint8_t(i);
    s.along = std::uint8_t(40 + 37 * i);
    s.inset = kInsets[i % std::size(kInsets)];
    s.normals = std::uint8_t(i % 3);
    s.eye = std::uint8_t(1 + i % 6);
    s.transform = i % 4 == 3 ? 1 : 0;
    samples.push_back(s);
  }
  return samples;
}

MeshCase with_mesh(host::Mesh mesh, std::size_t samples = 10) {
  MeshCase c;
  c.wide_references = mesh.point_count() > 255;
  for (std::uint32_t index : mesh.corners) {
    c.wide_references = c.wide_references || index > 255;
  }
  c.samples = spread_samples(mesh, samples);
  c.mesh = std::move(mesh);
  return c;
}

// The same case with open edges, a mask channel, a step profile, a wider
// band and no smoothing, searching across polygons for outside edges, and
// the corners blended.
MeshCase varied(MeshCase c) {
  c.open_edge = 1;
  c.corner_blend = 1;
  c.cross_polygons = 1;
  c.edge_kind = 1;
  c.out_channel = 2;
  c.out_mode = 2;
  c.round_edge = 0;
  c.smooth_edge = 0;
  c.edge_width = 0.25;
  c.edge_dangle = kPi / 6.0;
  return c;
}

// The same case at the settings' exact borders: an edge detection angle of
// 0 (coplanar sides are sharp: a dot product equal to the threshold counts),
// a smoothing angle of 0, a mask width of 0, the bevel off, inside edges
// only.
MeshCase borders(MeshCase c) {
  c.edge_kind = 2;
  c.edge_dangle = 0.0;
  c.smooth_cos = 0.0;
  c.out_width = 0.0;
  c.out_channel = 7;
  c.out_mode = 1;
  c.disable_bevel = 1;
  c.open_edge = 1;
  return c;
}

host::Mesh quads_at_right_angle() {
  host::Mesh m;
  m.points = {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {0, 0, 0}, {1, 0, 0}};
  m.add_polygon({0, 1, 2, 3});
  m.add_polygon({1, 0, 4, 5});
  return m;
}

// Five quads sharing one side, and one of them again with the opposite
// winding: a non-manifold fin.
host::Mesh fins() {
  host::Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(0, 0, 1);
  for (int k = 0; k < 5; ++k) {
    const double a = 2.0 * kPi * k / 5.0;
    const std::uint32_t p = m.add_point(std::cos(a), std::sin(a), 0);
    const std::uint32_t q = m.add_point(std::cos(a), std::sin(a), 1);
    m.add_polygon({0, p, q, 1});
  }
  m.add_polygon({1, 5, 4, 0});
  return m;
}

// Polygons that list a point twice, collapse to a line or a point, have one
// or two corners, or name points that do not exist; points no polygon uses.
host::Mesh broken_polygons() {
  host::Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_point(1, 1, 0);
  m.add_point(0, 1, 0);
  m.add_point(2, 0, 0);
  m.add_point(5, 5, 5);  // used by nothing
  m.add_polygon({0, 1, 2, 1, 3});
  m.add_polygon({0, 1, 4});  // collinear
  m.add_polygon({2, 2, 2});
  m.add_polygon({3});
  m.add_polygon({1, 2});
  m.add_polygon({0, 3, 2});
  m.add_polygon({2, 3, 40, 41});  // 40 and 41 do not exist
  return m;
}

// Points at the ends of the float range: huge, infinite, NaN, subnormal,
// negative zero.
host::Mesh extreme_points() {
  host::Mesh m;
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float tiny = std::numeric_limits<float>::denorm_min();
  m.points = {{0, 0, 0},   {1e30f, 0, 0},  {0, 1e30f, 0},    {inf, 0, 0},
              {0, nan, 0}, {tiny, 0, 0},   {0, tiny, 0},     {-0.0f, 0, 1},
              {1, 1, 1},   {-1e30f, 1, 0}, {3e38f, 3e38f, 0}};
  m.add_polygon({0, 1, 2});
  m.add_polygon({0, 2, 3});
  m.add_polygon({0, 3, 4});
  m.add_polygon({0, 5, 6});
  m.add_polygon({0, 6, 7});
  m.add_polygon({7, 8, 0});
  m.add_polygon({1, 9, 10});
  m.add_polygon({2, 1, 10});
  return m;
}

// A disc of 3,000 corners and a fan of triangles sharing its rim.
host::Mesh big_polygon() {
  constexpr std::uint32_t kCorners = 3000;
  host::Mesh m;
  std::vector<std::uint32_t> rim;
  for (std::uint32_t i = 0; i < kCorners; ++i) {
    const double a = 2.0 * kPi * i / kCorners;
    rim.push_back(m.add_point(std::cos(a), std::sin(a), 0));
  }
  m.add_polygon(rim);
  const std::uint32_t apex = m.add_point(0, 0, -0.5);
  for (std::uint32_t i = 0; i < 40; ++i) {
    m.add_polygon({(i + 1) % kCorners, i, apex});
  }
  return m;
}

// A grid of quads whose deformed positions ripple.
host::Mesh deformed_grid() {
  constexpr std::uint32_t kN = 8;
  host::Mesh m;
  for (std::uint32_t j = 0; j <= kN; ++j) {
    for (std::uint32_t i = 0; i <= kN; ++i) {
      m.add_point(i * 0.25, j * 0.25, ((i * 7 + j * 3) % 5) * 0.0625);
      m.deformed.push_back(
          {float(i * 0.25), float(j * 0.25), float(((i * 3 + j * 5) % 7) * 0.125)});
    }
  }
  for (std::uint32_t j = 0; j < kN; ++j) {
    for (std::uint32_t i = 0; i < kN; ++i) {
      const std::uint32_t a = j * (kN + 1) + i;
      m.add_polygon({a, a + 1, a + kN + 2, a + kN + 1});
    }
  }
  return m;
}

}  // namespace

bool write_mesh_seeds(const char *dir_text) {
  const std::string dir = dir_text;
  bool ok = true;
  auto variants = [&](const std::string &name, MeshCase c) {
    ok = put(dir, name, c) && ok;
    ok = put(dir, name + "_borders", borders(c)) && ok;
    ok = put(dir, name + "_varied", varied(std::move(c))) && ok;
  };

  for (const std::string &name : host::builtin_mesh_names()) {
    host::Mesh mesh;
    host::builtin_mesh(name, mesh);
    variants("builtin_" + name, with_mesh(cut(mesh, 0, 200, 900)));
  }

#ifdef KORV_SHARED_MESHES
  // The shared real meshes, when they are there: the start of each and a
  // stretch from its middle.
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(KORV_SHARED_MESHES, error)) {
    if (entry.path().extension() != ".obj") {
      continue;
    }
    host::Mesh mesh;
    std::string why;
    if (!host::load_mesh_file(entry.path().string(), mesh, why)) {
      continue;
    }
    const std::string stem = "shared_" + entry.path().stem().string();
    variants(stem, with_mesh(cut(mesh, 0, 150, 700)));
    if (mesh.polygon_count() > 500) {
      variants(stem + "_middle", with_mesh(cut(mesh, mesh.polygon_count() / 2, 150, 700)));
    }
  }
#endif

  variants("right_angle", with_mesh(quads_at_right_angle()));
  variants("fins", with_mesh(fins()));
  variants("broken_polygons", with_mesh(broken_polygons()));
  variants("extreme_points", with_mesh(extreme_points()));
  variants("big_polygon", with_mesh(big_polygon(), 12));
  MeshCase deforming = with_mesh(deformed_grid());
  deforming.use_deform = 1;
  variants("deformed_grid", deforming);

  // The host's faults, on the cube.
  host::Mesh cube;
  host::builtin_mesh("cube", cube);
  for (std::uint8_t scan = 0; scan < 4; ++scan) {
    MeshCase c = with_mesh(cube, 6);
    c.fault = FaultKind::FailScan;
    c.fault_a = scan;
    c.fault_b = 3;
    ok = put(dir, "fault_scan_" + std::to_string(scan + 1), c) && ok;
  }
  for (std::uint8_t after = 0; after < 3; ++after) {
    MeshCase c = with_mesh(cube, 6);
    c.fault = FaultKind::Mutate;
    c.fault_a = after;
    c.changed = std::make_shared<host::Mesh>(cube);
    c.changed->add_polygon({0, 1, 2});
    c.changed->add_polygon({7, 6, 5, 4});
    ok = put(dir, "fault_changed_" + std::to_string(after + 1), varied(c)) && ok;
  }
  for (std::uint8_t size = 0; size < 8; ++size) {
    MeshCase c = with_mesh(cube, 6);
    c.fault = FaultKind::AbsurdSize;
    c.fault_a = 3;
    c.fault_b = size;
    ok = put(dir, "fault_absurd_size_" + std::to_string(size), c) && ok;
  }
  MeshCase no_destroy = with_mesh(cube, 6);
  no_destroy.fault = FaultKind::NoDestroy;
  ok = put(dir, "fault_no_destroy", no_destroy) && ok;
  MeshCase no_mesh = with_mesh(cube, 6);
  no_mesh.fault = FaultKind::NullMeshInfo;
  ok = put(dir, "fault_no_mesh_info", no_mesh) && ok;
  return ok;
}

}  // namespace korv::fuzz
