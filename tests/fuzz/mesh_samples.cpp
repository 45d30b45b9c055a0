#include <cstring>
#include <iterator>
#include <limits>

#include "edges/vec3.h"
#include "mesh_case.h"

namespace korv::fuzz {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Vec3 base_position(const host::Mesh &mesh, std::uint32_t point) {
  if (point >= mesh.point_count()) {
    return {};
  }
  const host::FloatPoint &p = mesh.points[point];
  return {double(p[0]), double(p[1]), double(p[2])};
}

// World-to-object matrices a host may hand over, in row order.
constexpr double kTransforms[][9] = {
    {1, 0, 0, 0, 1, 0, 0, 0, 1},     // identity
    {0, 1, 0, -1, 0, 0, 0, 0, 1},    // a quarter turn about z
    {0.5, 0, 0, 0, 2, 0, 0, 0, 1},   // unequal scales
    {0, 0, 0, 0, 0, 0, 0, 0, 0},     // nothing survives
    {kNaN, 0, 0, 0, 1, 0, 0, 0, 1},  // a broken matrix
    {1, 0.5, 0, 0, 1, 0, 0, 0, -1},  // a shear and a mirror
};

// Directions the ray comes from, towards the spot (index 0 is not used).
constexpr double kEyes[][3] = {{0, 0, 0}, {0, 0, 1}, {0, 0, -1},  {1, 0, 0},
                               {0, 1, 0}, {1, 1, 1}, {-1, 2, 0.5}};

}  // namespace

std::vector<LWShaderAccess> make_samples(const MeshCase &c, const host::SceneObject &object) {
  const host::Mesh &mesh = c.mesh;
  std::vector<LWShaderAccess> records;
  for (const SampleSpec &s : c.samples) {
    LWShaderAccess a{};
    a.objID = object.id();
    a.polygon = s.polygon == kNoPolygon ? nullptr : host::polygon_id(s.polygon);
    // The spot: on a side of the polygon, moved towards its centre.
    Vec3 spot;
    Vec3 face;
    if (s.polygon < mesh.polygon_count() && !mesh.polygon(s.polygon).empty()) {
      const auto corners = mesh.polygon(s.polygon);
      const std::size_t n = corners.size();
      Vec3 centre;
      for (std::uint32_t p : corners) {
        centre = centre + base_position(mesh, p);
      }
      centre = (1.0 / double(n)) * centre;
      const Vec3 from = base_position(mesh, corners[s.corner % n]);
      const Vec3 to = base_position(mesh, corners[(s.corner + 1u) % n]);
      spot = from + (s.along / 255.0) * (to - from);
      spot = spot + (s.inset / 255.0) * (centre - spot);
      if (n >= 3) {
        const Vec3 p0 = base_position(mesh, corners[0]);
        face = unit_vector(
            cross(base_position(mesh, corners[1]) - p0, base_position(mesh, corners[n - 1]) - p0));
      }
    }
    store(spot, a.oPos);
    store(spot, a.wPos);
    switch (s.normals % 4) {
      case 0:
        store(face, a.wNorm0);
        store(face, a.wNorm);
        break;
      case 1:
        store(face, a.wNorm0);
        store(unit_vector(face + Vec3{0.3, -0.2, 0.1}), a.wNorm);
        break;
      case 2:
        store(face, a.wNorm);
        break;
      default:
        std::memcpy(a.wNorm0, s.raw_normals, sizeof a.wNorm0);
        std::memcpy(a.wNorm, s.raw_normals + 3, sizeof a.wNorm);
        break;
    }
    const std::size_t eye = s.eye % std::size(kEyes);
    const Vec3 towards = eye == 0 ? Vec3{} : Vec3{kEyes[eye][0], kEyes[eye][1], kEyes[eye][2]};
    store(spot + 3.0 * towards, a.raySource);
    std::memcpy(a.wXfrm, kTransforms[s.transform % std::size(kTransforms)], sizeof a.wXfrm);
    a.oXfrm[0] = a.oXfrm[4] = a.oXfrm[8] = 1.0;
    a.luminous = 0.125;
    a.diffuse = 0.25;
    a.specular = 0.375;
    a.mirror = 0.5;
    a.transparency = 0.625;
    a.translucency = 0.75;
    a.bumpHeight = 0.875;
    records.push_back(a);
  }
  return records;
}

}  // namespace korv::fuzz
