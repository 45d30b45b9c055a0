#include "mesh_case.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <span>

#include "edges/edge_build.h"
#include "edges/vec3.h"

namespace korv::fuzz {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.14159265358979323846;

// Values worth trying for each kind of setting; byte 255 means "a double
// follows", so a table holds fewer entries than that.
constexpr double kWidths[] = {0.02, 0.1, 0.25, 0.5,  1.0,  2.0, 0.0,  -1.0,
                              1e-6, 1e6, kNaN, kInf, 0.05, 4.0, 0.01, 1e30};
constexpr double kAngles[] = {89.5 * kPi / 180.0,
                              0.0,
                              kPi / 6.0,
                              kPi / 4.0,
                              kPi / 2.0,
                              kPi,
                              1e-9,
                              -0.5,
                              kPi / 3.0,
                              2.0 * kPi / 3.0,
                              kPi / 36.0,
                              kNaN,
                              kInf,
                              3.0 * kPi / 4.0,
                              kPi / 18.0,
                              100.0};
constexpr int kAbsurdSizes[] = {-1, -7, INT_MIN, INT_MAX, INT_MAX - 2, 3000, 2, 0};
constexpr std::uint8_t kRawValue = 255;

class Reader {
 public:
  Reader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t u8() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t u16() {
    const std::uint16_t low = u8();
    return std::uint16_t(low | std::uint16_t(u8()) << 8);
  }
  std::uint32_t u32() {
    const std::uint32_t low = u16();
    return low | std::uint32_t(u16()) << 16;
  }
  double f64() {
    const std::uint64_t low = u32();
    return std::bit_cast<double>(low | std::uint64_t(u32()) << 32);
  }
  template <std::size_t N>
  double value(const double (&table)[N]) {
    const std::uint8_t code = u8();
    return code == kRawValue ? f64() : table[code % N];
  }

 private:
  const std::uint8_t *data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

class Writer {
 public:
  void u8(std::uint8_t v) { bytes.push_back(v); }
  void u16(std::uint16_t v) {
    u8(std::uint8_t(v));
    u8(std::uint8_t(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(std::uint16_t(v));
    u16(std::uint16_t(v >> 16));
  }
  void f64(double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    u32(std::uint32_t(bits));
    u32(std::uint32_t(bits >> 32));
  }
  template <std::size_t N>
  void value(double v, const double (&table)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
      if (std::bit_cast<std::uint64_t>(table[i]) == std::bit_cast<std::uint64_t>(v)) {
        u8(std::uint8_t(i));
        return;
      }
    }
    u8(kRawValue);
    f64(v);
  }
  std::vector<std::uint8_t> bytes;
};

host::FloatPoint read_point(Reader &in) {
  host::FloatPoint p;
  if (in.u8() % 2 == 0) {
    for (float &c : p) {
      c = float(std::int8_t(in.u8())) / 4.0f;
    }
  } else {
    for (float &c : p) {
      c = std::bit_cast<float>(in.u32());
    }
  }
  return p;
}

void write_point(Writer &out, const host::FloatPoint &p) {
  bool quarters = true;
  for (float c : p) {
    const float q = c * 4.0f;
    quarters = quarters && q >= -128.0f && q <= 127.0f && q == std::trunc(q) &&
               std::bit_cast<std::uint32_t>(c) != 0x80000000u;
  }
  out.u8(quarters ? 0 : 1);
  for (float c : p) {
    if (quarters) {
      out.u8(std::uint8_t(std::int8_t(c * 4.0f)));
    } else {
      out.u32(std::bit_cast<std::uint32_t>(c));
    }
  }
}

// Polygons up to the corner budget left; the rest of a list is dropped.
void read_polygons(Reader &in, bool wide, host::Mesh &mesh, std::size_t &corners_left) {
  const std::size_t count = std::min<std::size_t>(in.u16(), kMaxPolygons);
  std::vector<std::uint32_t> corners;
  for (std::size_t p = 0; p < count; ++p) {
    std::size_t size = in.u8();
    if (size == 255) {
      size = in.u16();
    }
    size = std::min(size, corners_left);
    corners_left -= size;
    corners.resize(size);
    for (std::uint32_t &c : corners) {
      c = wide ? in.u16() : in.u8();
    }
    mesh.add_polygon(std::span<const std::uint32_t>(corners));
  }
}

void write_polygons(Writer &out, bool wide, const host::Mesh &mesh) {
  out.u16(std::uint16_t(mesh.polygon_count()));
  for (std::size_t p = 0; p < mesh.polygon_count(); ++p) {
    const auto corners = mesh.polygon(p);
    if (corners.size() >= 255) {
      out.u8(255);
      out.u16(std::uint16_t(corners.size()));
    } else {
      out.u8(std::uint8_t(corners.size()));
    }
    for (std::uint32_t c : corners) {
      if (wide) {
        out.u16(std::uint16_t(c));
      } else {
        out.u8(std::uint8_t(c));
      }
    }
  }
}

}  // namespace

MeshCase decode_mesh_case(const std::uint8_t *data, std::size_t size) {
  Reader in(data, size);
  MeshCase c;
  const std::uint8_t flags = in.u8();
  c.open_edge = flags & 1;
  c.use_deform = (flags >> 1) & 1;
  c.smooth_edge = (flags >> 3) & 1;
  c.round_edge = (flags >> 4) & 1;
  c.disable_bevel = (flags >> 5) & 1;
  c.wide_references = (flags & 64) != 0;
  const std::uint8_t kind = in.u8() % 8;
  c.fault = kind >= 3 ? FaultKind(kind) : FaultKind::None;
  c.fault_a = in.u8();
  c.fault_b = in.u8();
  c.edge_width = in.value(kWidths);
  c.edge_dangle = in.value(kAngles);
  c.smooth_cos = in.value(kAngles);
  c.out_width = in.value(kWidths);
  c.out_channel = std::int8_t(in.u8());
  const std::uint8_t more = in.u8();
  c.cross_polygons = more & 1;
  c.edge_kind = (more >> 1) & 3;
  c.out_mode = (more >> 3) & 3;
  c.corner_blend = (more >> 5) & 1;

  const std::size_t points = std::min<std::size_t>(in.u16(), kMaxPoints);
  for (std::size_t i = 0; i < points; ++i) {
    c.mesh.points.push_back(read_point(in));
  }
  if (flags & 4) {
    for (std::size_t i = 0; i < points; ++i) {
      c.mesh.deformed.push_back(read_point(in));
    }
  }
  std::size_t corners_left = kMaxCorners;
  read_polygons(in, c.wide_references, c.mesh, corners_left);
  if (flags & 128) {
    c.changed = std::make_shared<host::Mesh>();
    read_polygons(in, c.wide_references, *c.changed, corners_left);
  }
  const std::size_t samples = std::min<std::size_t>(in.u8(), kMaxSamples);
  for (std::size_t i = 0; i < samples; ++i) {
    SampleSpec s;
    s.polygon = in.u16();
    s.corner = in.u8();
    s.along = in.u8();
    s.inset = in.u8();
    s.normals = in.u8();
    s.eye = in.u8();
    s.transform = in.u8();
    if (s.normals % 4 == 3) {
      for (double &v : s.raw_normals) {
        v = in.f64();
      }
    }
    c.samples.push_back(s);
  }
  return c;
}

std::vector<std::uint8_t> encode_mesh_case(const MeshCase &c) {
  Writer out;
  const bool deformed = !c.mesh.deformed.empty();
  out.u8(std::uint8_t((c.open_edge != 0 ? 1 : 0) | (c.use_deform != 0 ? 2 : 0) |
                      (deformed ? 4 : 0) | (c.smooth_edge != 0 ? 8 : 0) |
                      (c.round_edge != 0 ? 16 : 0) | (c.disable_bevel != 0 ? 32 : 0) |
                      (c.wide_references ? 64 : 0) | (c.changed ? 128 : 0)));
  out.u8(std::uint8_t(c.fault));
  out.u8(c.fault_a);
  out.u8(c.fault_b);
  out.value(c.edge_width, kWidths);
  out.value(c.edge_dangle, kAngles);
  out.value(c.smooth_cos, kAngles);
  out.value(c.out_width, kWidths);
  out.u8(std::uint8_t(std::int8_t(c.out_channel)));
  out.u8(std::uint8_t((c.cross_polygons != 0 ? 1 : 0) | (c.edge_kind & 3) << 1 |
                      (c.out_mode & 3) << 3 | (c.corner_blend != 0 ? 32 : 0)));
  out.u16(std::uint16_t(c.mesh.point_count()));
  for (const host::FloatPoint &p : c.mesh.points) {
    write_point(out, p);
  }
  if (deformed) {
    for (const host::FloatPoint &p : c.mesh.deformed) {
      write_point(out, p);
    }
  }
  write_polygons(out, c.wide_references, c.mesh);
  if (c.changed) {
    write_polygons(out, c.wide_references, *c.changed);
  }
  out.u8(std::uint8_t(c.samples.size()));
  for (const SampleSpec &s : c.samples) {
    out.u16(s.polygon);
    out.u8(s.corner);
    out.u8(s.along);
    out.u8(s.inset);
    out.u8(s.normals);
    out.u8(s.eye);
    out.u8(s.transform);
    if (s.normals % 4 == 3) {
      for (double v : s.raw_normals) {
        out.f64(v);
      }
    }
  }
  return out.bytes;
}

host::MeshFaults mesh_faults(const MeshCase &c) {
  host::MeshFaults f;
  switch (c.fault) {
    case FaultKind::FailScan:
      f.fail_scan = 1 + c.fault_a % 4;
      f.fail_scan_visits = c.fault_b;
      break;
    case FaultKind::Mutate:
      f.mutate_after_scan = 1 + c.fault_a % 3;
      f.alt_mesh = c.changed ? c.changed : std::make_shared<host::Mesh>(c.mesh);
      break;
    case FaultKind::AbsurdSize: {
      if (c.mesh.polygon_count() == 0) {
        break;
      }
      f.absurd_polygon = c.fault_a % c.mesh.polygon_count();
      f.absurd_size = kAbsurdSizes[c.fault_b % std::size(kAbsurdSizes)];
      std::int64_t uses_before = 0;
      for (std::size_t p = 0; p < f.absurd_polygon; ++p) {
        const std::size_t n = c.mesh.polygon(p).size();
        uses_before += n >= 3 ? std::int64_t(n) : 0;
      }
      if (f.absurd_size > 65536 && uses_before + f.absurd_size <= kMaxCornerUses) {
        f.absurd_size = -1;
      }
      break;
    }
    case FaultKind::NoDestroy:
      f.no_destroy = true;
      break;
    case FaultKind::NullMeshInfo:
      f.null_mesh_info = true;
      break;
    case FaultKind::None:
      break;
  }
  return f;
}

}  // namespace korv::fuzz
