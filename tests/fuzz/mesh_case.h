// The mesh fuzzer's input: bytes read as a mesh a host could hand over, the
// instance's settings, a host fault to inject and a few shading samples, and
// the writer that turns such a case back into bytes (for the seed corpus).
//
// Layout, little-endian; whatever the bytes run out of reads as zero:
//   flags           u8: 1 open_edge, 2 use_deform, 4 deformed positions
//                   follow the points, 8 smooth_edge, 16 round_edge, 32
//                   disable_bevel, 64 point references are u16 (else u8),
//                   128 a second polygon list follows (the mesh after a change)
//   fault           u8 kind (modulo 8: 3 a scan fails, 4 the mesh changes
//                   between scans, 5 polSize is absurd, 6 no destroy, 7 no
//                   mesh info; else none), then u8 a, u8 b (see decode)
//   settings        edge_width, edge_dangle, smooth_cos, out_width as values
//                   (u8 index into a table of useful values, or 255 and eight
//                   bytes of a double), out_channel as i8, then u8: 1
//                   cross_polygons, bits 1-2 edge_kind, 3-4 out_mode (3: no choice's value),
//                   5 corner_blend
//   points          u16 count, then per point u8 form (even: three i8 in
//                   quarters; odd: three floats' bits) and the coordinates;
//                   with flag 4 the deformed positions the same way
//   polygons        u16 count, then per polygon u8 size (255: a u16 size
//                   follows) and the point references (any value: repeats
//                   and points that do not exist included)
//   samples         u8 count, then per sample u16 polygon (65535: none),
//                   u8 corner, u8 along, u8 inset, u8 normals, u8 eye,
//                   u8 transform (see make_samples); normals form 3 is
//                   followed by six doubles
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/mesh_service.h"
#include "hostapi/lwshader.h"

namespace korv::fuzz {

// Bounds that keep one input quick to check with the slow reference.
inline constexpr std::size_t kMaxPoints = 2048;
inline constexpr std::size_t kMaxPolygons = 2048;
inline constexpr std::size_t kMaxCorners = 4096;  // over both polygon lists
inline constexpr std::size_t kMaxSamples = 16;

// A sample's polygon index that stands for a record without a polygon.
inline constexpr std::uint16_t kNoPolygon = 65535;

enum class FaultKind : std::uint8_t {
  None = 0,
  FailScan = 3,
  Mutate = 4,
  AbsurdSize = 5,
  NoDestroy = 6,
  NullMeshInfo = 7,
};

struct SampleSpec {
  std::uint16_t polygon = 0;   // index into the mesh; 65535: the record has no polygon
  std::uint8_t corner = 0;     // the side from this corner to the next (modulo the size)
  std::uint8_t along = 0;      // how far along that side, in 255ths
  std::uint8_t inset = 0;      // how far from there towards the centre, in 255ths
  std::uint8_t normals = 0;    // 0 face normal; 1 tilted wNorm; 2 zero wNorm0; 3 raw
  std::uint8_t eye = 0;        // 0: the ray starts at the spot; else a direction of a table
  std::uint8_t transform = 0;  // wXfrm from a table
  double raw_normals[6] = {};  // wNorm0 and wNorm for normals form 3
};

struct MeshCase {
  host::Mesh mesh;
  std::shared_ptr<host::Mesh> changed;  // the polygons shown after the change (flag 128)
  FaultKind fault = FaultKind::None;
  std::uint8_t fault_a = 0;
  std::uint8_t fault_b = 0;
  bool wide_references = false;

  double edge_width = 0.02;
  double edge_dangle = 1.562069680534925;
  std::int32_t smooth_edge = 1;
  double smooth_cos = 0.7853981633974483;
  std::int32_t round_edge = 1;
  std::int32_t open_edge = 0;
  std::int32_t use_deform = 0;
  std::int32_t disable_bevel = 0;
  std::int32_t out_channel = 0;
  double out_width = 0.1;
  std::int32_t cross_polygons = 0;
  std::int32_t edge_kind = 0;
  std::int32_t out_mode = 0;
  std::int32_t corner_blend = 0;

  std::vector<SampleSpec> samples;
};

MeshCase decode_mesh_case(const std::uint8_t *data, std::size_t size);

// The bytes that decode to c (settings that are in the tables take one byte).
std::vector<std::uint8_t> encode_mesh_case(const MeshCase &c);

// The host faults the case asks for, on an object whose mesh is c.mesh:
//   FailScan     scan 1 + a % 4 fails after b elements
//   Mutate       from scan 1 + a % 3 on, the changed polygons are shown
//                (the mesh's own when the case has none)
//   AbsurdSize   polygon a (modulo the count) reports one of a table of
//                sizes chosen by b; a size so large that the build would
//                walk billions of corners before it could refuse them is
//                replaced by -1 (the build's work grows with the corners a
//                host reports, and that is no fault)
//   NoDestroy    mesh-info objects come without destroy
//   NullMeshInfo meshInfo answers null
host::MeshFaults mesh_faults(const MeshCase &c);

// The shading records of the case's samples on object (whose mesh is c.mesh).
std::vector<LWShaderAccess> make_samples(const MeshCase &c, const host::SceneObject &object);

}  // namespace korv::fuzz
