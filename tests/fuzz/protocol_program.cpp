// What a program checks, besides the sanitizers: every call a host makes in
// any order succeeds; every evaluation leaves its record as it came or
// equals the slow reference for the settings in effect (one of those the
// batch's panel edits went through) over a database the module may hold (one
// built from a mesh and settings seen since the cache was last emptied, read
// in the frame it was built in); settings read back through the panel match
// what was set, saved or copied; flags and the description line match the
// settings; and no mesh-info handle or panel outlives the program.
//
// A node is held to the same reference: each output it gives, asked in any
// order, is the one of the record as it came (the normal it bends, no mask,
// no distance) or the reference's, with the mask shown plainly; its host's
// record stays as it was, and it names no polygon its object's mesh does not
// show. Its panel and scene blocks hold the settings it offers, and a
// shader's block loads into it; its ports go with it.
#include "protocol_program.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <tuple>

#include "host/host_globals.h"
#include "host/mesh_service.h"
#include "host/module_loader.h"
#include "host/node_session.h"
#include "host/render_threads.h"
#include "host/scene_state.h"
#include "host/scene_state_binary.h"
#include "host/xpanel_service.h"
#include "hostapi/lwxpanel.h"
#include "instance/edge_instance.h"
#include "mesh_case.h"
#include "node/node_instance.h"
#include "panel/options_panel.h"
#include "tests/reference/edge_reference.h"
#include "tests/reference/shading_reference.h"

namespace korv::fuzz {

namespace {

using Settings = EdgeInstance;  // only the settings' fields are used
using testing::EdgeSnapshot;
using testing::same_double;

constexpr int kSlots = 3;
constexpr int kObjects = 3;
constexpr int kMaxOps = 48;
constexpr std::size_t kMaxBatch = 24;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Values a panel or a damaged scene may hand over; any other comes raw.
constexpr double kDoubles[] = {0.02, 0.1,  0.5,   1.0,   0.0,    -0.0,  -0.01,  -1.0,
                               kNaN, kInf, -kInf, 1e300, 5e-324, 0.785, 1.5621, 3.1416};
constexpr std::int32_t kInts[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, -1, INT32_MIN, INT32_MAX, 255};

struct Reader {
  const std::uint8_t *p;
  std::size_t n;
  std::uint8_t u8() { return n == 0 ? 0 : (--n, *p++); }
  template <class T>
  T raw() {
    T v{};
    std::uint8_t b[sizeof v];
    for (std::uint8_t &x : b)
      x = u8();
    std::memcpy(&v, b, sizeof v);
    return v;
  }
  double real() {
    const std::uint8_t b = u8();
    return b < 128 ? kDoubles[b % std::size(kDoubles)] : raw<double>();
  }
  std::int32_t integer() {
    const std::uint8_t b = u8();
    return b < 128 ? kInts[b % std::size(kInts)] : raw<std::int32_t>();
  }
};

#ifdef KORV_FUZZ_NODE
constexpr bool kWithNode = true;
#else
constexpr bool kWithNode = false;  // a tree that builds no node module
#endif

// The records a front's handler is activated into.
struct HandlerRecords {
  Front front;
  LWInstanceFuncs inst{};
  LWItemFuncs item{};
  LWRenderFuncs rend{};
  LWShaderHandler shader{&inst, &item, &rend, nullptr, nullptr};
  LWNodeHandler node{&inst, &item, &rend, nullptr, nullptr, nullptr, nullptr};
  explicit HandlerRecords(Front f) : front(f) {}
  HandlerRecords(const HandlerRecords &) = delete;
  void *handler() { return front == kNode ? static_cast<void *>(&node) : &shader; }
  const void *evaluate() const {
    return front == kNode ? reinterpret_cast<const void *>(node.evaluate)
                          : reinterpret_cast<const void *>(shader.evaluate);
  }
};

// A front's module file, loaded once, with its handler activated into
// records the host owns.
struct Module : HandlerRecords {
  std::unique_ptr<host::ModuleFile> file;
  std::string error;
  explicit Module(Front f) : HandlerRecords(f) {
    host::install_node_services();
    file = host::ModuleFile::open(
        host::default_module_path(f == kNode ? "Korv_EdgeNode.p" : "Korv_Edge.p"), error);
    if (file && file->activate(hclass(), version(false), handler()) != AFUNC_OK) {
      error = "the handler refused its own version";
    }
  }
  const char *hclass() const { return front == kNode ? LWNODE_HCLASS : LWSHADER_HCLASS; }
  const char *iclass() const { return front == kNode ? LWNODE_ICLASS : LWSHADER_ICLASS; }
  int version(bool ui) const {
    return front == kNode ? LWNODE_VERSION : ui ? LWINTERFACE_VERSION : LWSHADER_VERSION;
  }
  // The node knows 2018's version besides.
  bool knows(std::int32_t v, bool ui) const {
    return v == version(ui) || (front == kNode && v == LWNODE_VERSION_2018);
  }
};

const Module &module(Front front) {
  if (front == kNode) {
    static const Module node(kNode);
    return node;
  }
  static const Module shader(kShader);
  return shader;
}

bool offers(Front front, const SettingInfo &info) {
  return front == kShader || node_offers(info);
}

// A mesh the module may have built a database from, and the settings the
// build read: its detection settings, its frame and its reach.
struct Candidate {
  int object;
  int version;
  Settings build;
  const EdgeSnapshot *snapshot;  // null where the build fails
};

struct Slot {
  Front front = kShader;
  LWInstance inst = nullptr;
  // The node's input and its outputs: Normal, Edge, Distance.
  host::NodePort *input = nullptr;
  NodeOutputID outputs[3] = {};
  LWInterface ui{};
  host::RecordedPanel *panel = nullptr;
  Settings model{};
  std::vector<Candidate> candidates;
};

// The meshes: a cube, a double-sided card (two quads back to back on the
// same points, whose shared sides have no edge normal) and a lidless box.
host::Mesh object_mesh(int k) {
  host::Mesh m;
  if (k == 1) {
    for (int i = 0; i < 4; ++i)
      m.add_point(i & 1, (i >> 1) & 1, 0.0);
    m.add_polygon({0, 1, 3, 2});
    m.add_polygon({2, 3, 1, 0});
    return m;
  }
  for (int i = 0; i < 8; ++i)
    m.add_point((i & 1) ? 1 : -1, (i & 2) ? 1 : -1, (i & 4) ? 1 : -1);
  m.add_polygon({0, 2, 3, 1});
  m.add_polygon({0, 1, 5, 4});
  m.add_polygon({2, 6, 7, 3});
  m.add_polygon({0, 4, 6, 2});
  m.add_polygon({1, 3, 7, 5});
  if (k == 0)
    m.add_polygon({4, 5, 7, 6});
  return m;
}

// The same points with other polygons: the first split in two triangles,
// the last gone. The points keep their positions, so a database kept across
// the change reads the base positions it was built from.
host::Mesh changed_topology(const host::Mesh &m) {
  host::Mesh c;
  c.points = m.points;
  const auto first = m.polygon(0);
  c.add_polygon({first[0], first[1], first[2]});
  c.add_polygon({first[0], first[2], first[3]});
  for (std::size_t i = 1; i + 1 < m.polygon_count(); ++i)
    c.add_polygon(m.polygon(i));
  return c;
}

// Settings a front does not offer stay 0 in its model.
bool same_settings(const Settings &a, const Settings &b) {
  for (const SettingInfo &info : kSettings) {
    const void *x = setting_address(const_cast<Settings &>(a), info);
    const void *y = setting_address(const_cast<Settings &>(b), info);
    if (is_double(info.kind)
            ? !same_double(*static_cast<const double *>(x), *static_cast<const double *>(y))
            : std::memcmp(x, y, 4) != 0) {
      return false;
    }
  }
  return true;
}

// The flag each output channel declares ("Gradient bump input" none).
constexpr unsigned kChannelFlags[] = {
    0, LWSHF_LUMINOUS, LWSHF_DIFFUSE, LWSHF_SPECULAR, LWSHF_MIRROR, LWSHF_TRANSP, LWSHF_TRANSLUCENT,
    0};

// What a sound evaluation does to received, by the reference: a database
// read in the frame it was built in, an output width not above 0 writing no
// channel, and an edge normal with no direction in the sample's frame leaving
// the normals as received. With distance, also the node's Distance output:
// the edge's distance wherever a mask is written at all.
LWShaderAccess expected(const LWShaderAccess &received, const Settings &s, const Candidate &c,
                        LWMeshInfo *info, double *distance = nullptr) {
  LWShaderAccess want = received;
  if (distance != nullptr)
    *distance = kNoEdgeDistance;
  if (want.polygon == nullptr || !(s.edge_width > 0.0) || info == nullptr ||
      c.snapshot == nullptr) {
    return want;
  }
  Settings query = s;  // the search across polygons as the build set it up
  query.cross_polygons = c.build.cross_polygons;
  query.edge_width = c.build.edge_width;
  query.open_edge = c.build.open_edge;
  query.out_channel = c.build.out_channel;
  query.out_width = c.build.out_width;
  const testing::ReferenceHit hit = testing::reference_nearest_edge(*c.snapshot, info, want, query);
  Settings shade = s;
  shade.use_deform = c.build.use_deform;
  if (!(shade.out_width > 0.0)) {
    shade.out_channel = 0;
  }
  testing::reference_shade(hit, shade, want);
  if (distance != nullptr) {
    LWShaderAccess probe = received;
    probe.luminous = kNaN;
    Settings always = shade;
    always.out_channel = 1;
    always.out_width = 1.0;
    always.out_mode = 0;
    testing::reference_shade(hit, always, probe);
    *distance = std::isnan(probe.luminous) ? kNoEdgeDistance : hit.distance;
  }
  const double *m = want.wXfrm;
  const Vec3 e = hit.normal;
  const Vec3 toward = shade.use_deform != 0 ? unit_vector(e)
                                            : Vec3{m[0] * e.x + m[3] * e.y + m[6] * e.z,
                                                   m[1] * e.x + m[4] * e.y + m[7] * e.z,
                                                   m[2] * e.x + m[5] * e.y + m[8] * e.z}
                                                  .normalize();
  if (hit.distance >= 0.0 && !(toward.length() > 0.0)) {
    std::memcpy(want.wNorm0, received.wNorm0, sizeof want.wNorm0);
    std::memcpy(want.wNorm, received.wNorm, sizeof want.wNorm);
  }
  return want;
}

// wNorm0, wNorm and the seven channels.
std::string describe(const LWShaderAccess &a) {
  std::string text;
  for (double x :
       {a.wNorm0[0], a.wNorm0[1], a.wNorm0[2], a.wNorm[0], a.wNorm[1], a.wNorm[2], a.luminous,
        a.diffuse, a.specular, a.mirror, a.transparency, a.translucency, a.bumpHeight}) {
    char value[32];
    std::snprintf(value, sizeof value, " %.17g", x);
    text += value;
  }
  return text;
}

// The node's three outputs (Normal, Edge, Distance) for a sample as the
// shader's reference gives them: its record made from the node's, with the
// mask shown plainly on luminous, as the node's builds reach for it.
using NodeValues = std::array<double, 5>;
NodeValues node_expected(const LWShaderAccess &record, const Settings &s, const Candidate &c,
                         LWMeshInfo *info) {
  Settings shown = s;
  shown.out_channel = 1;
  shown.out_mode = 0;
  Candidate reaching = c;
  reaching.build.out_channel = 1;
  NodeValues v{};
  const LWShaderAccess want = expected(record, shown, reaching, info, &v[4]);
  std::copy(want.wNorm, want.wNorm + 3, v.begin());
  v[3] = want.luminous;
  return v;
}

// Where the host has put an object besides the turn of a sample's wXfrm:
// toLocal's translation.
constexpr double kShifts[][3] = {{0, 0, 0}, {5, -3, 2}, {-1e3, 2e3, 7}, {0.25, 0, 0}};

// The inverse of a 3x3 matrix in row order by its cofactors; false where it
// has none.
bool invert(const double a[9], double out[9]) {
  const double c[9] = {
      a[4] * a[8] - a[5] * a[7], a[2] * a[7] - a[1] * a[8], a[1] * a[5] - a[2] * a[4],
      a[5] * a[6] - a[3] * a[8], a[0] * a[8] - a[2] * a[6], a[2] * a[3] - a[0] * a[5],
      a[3] * a[7] - a[4] * a[6], a[1] * a[6] - a[0] * a[7], a[0] * a[4] - a[1] * a[3]};
  const double det = a[0] * c[0] + a[1] * c[3] + a[2] * c[6];
  for (int i = 0; i < 9; ++i)
    out[i] = c[i] / det;
  return det != 0.0 && std::isfinite(det);
}

// m·p + t, with m in row order.
void apply(const double m[9], const double p[3], const double t[3], double out[3]) {
  for (int i = 0; i < 3; ++i)
    out[i] = m[3 * i] * p[0] + m[3 * i + 1] * p[1] + m[3 * i + 2] * p[2] + t[i];
}

// How the host gives oP, by transform / 24.
constexpr host::PositionMode kPositionModes[] = {
    host::PositionMode::Exact, host::PositionMode::Fitted, host::PositionMode::Float,
    host::PositionMode::Offset, host::PositionMode::Undeformed};

// The node's record of a sample as the stand-in host makes it: the object
// placed by one matrix per placement (toLocal's linear part the sample's
// wXfrm, its translation one of kShifts by transform / 6), the spot and the
// ray's source where toWorld puts them, oP as the host's mode gives it. A
// matrix without an inverse places nothing. Offset and Undeformed move oP
// off toLocal·P alike in both readings, so that a record without a
// translation could honestly tell either; they are kept to records with
// one, whose zeros tell. Returns whether the record tells the two readings
// of its matrices apart (their linear parts agree, or either the
// translation or P does): where it does not, the node may read either until
// another record tells.
bool node_record(const LWShaderAccess &a, std::uint8_t transform, bool columns, bool ray,
                 LWShadingGeometry &g) {
  const double *to_local = a.wXfrm;
  const double *shift = kShifts[(transform / 6) % std::size(kShifts)];
  double to_world[9];
  const double origin[3] = {0, 0, 0};
  const bool placed = invert(to_local, to_world);
  const bool moved = placed && (shift[0] != 0 || shift[1] != 0 || shift[2] != 0);
  host::NodeHostMode mode{columns ? host::MatrixWriting::Columns : host::MatrixWriting::Rows,
                          kPositionModes[(transform / 24) % std::size(kPositionModes)]};
  if (!moved &&
      (mode.op == host::PositionMode::Offset || mode.op == host::PositionMode::Undeformed))
    mode.op = host::PositionMode::Exact;
  LWShaderAccess world = a;
  if (placed) {
    double back[3];
    apply(to_world, shift, origin, back);
    for (int i = 0; i < 3; ++i)
      mode.move[i] = -back[i];
    apply(to_world, a.oPos, mode.move, world.wPos);
    apply(to_world, a.raySource, mode.move, world.raySource);
  }
  host::NodeSession::make_geometry(world, mode, g);
  if (!ray)
    g.ray = nullptr;
  double skew = 0.0;
  double size = 1.0;
  for (int i = 0; i < 3; ++i) {
    double d = 0.0;
    for (int j = 0; j < 3; ++j)
      d += (to_local[3 * i + j] - to_local[3 * j + i]) * g.P[j];
    skew = std::fmax(skew, std::fabs(d));
    size = std::fmax(size, std::fabs(g.P[i]));
  }
  const bool symmetric =
      to_local[1] == to_local[3] && to_local[2] == to_local[6] && to_local[5] == to_local[7];
  return symmetric || moved || (placed && skew > 1e-3 * size);
}

// What an output's record holds before the node is asked.
constexpr double kUnwritten = -7.25;

// A node's sample: its record, the normal it bends, and the outputs asked
// in turn (0 Normal, 1 Edge, 2 Distance, 3 another node's or none) with what
// each gave.
struct NodeAsk {
  LWShadingGeometry record;
  bool tells;
  double bend[3];
  int count;
  int outputs[4];
  NodeOutputID ids[4];
  double values[4][3];
};

struct Sample {
  int slot;
  int object;
  LWShaderAccess received;
  std::optional<NodeAsk> node;
};

class Program {
 public:
  Program() {
    for (int k = 0; k < kObjects; ++k) {
      objects_[k] = std::make_unique<host::SceneObject>(object_mesh(k));
    }
  }
  ~Program() {
    for (int s = 0; s < kSlots; ++s)
      destroy(s);
  }

  std::string run(Reader in) {
    for (Front front : {kShader, kNode}) {
      if ((front == kShader || kWithNode) && !module(front).inst.create)
        return "a module could not be loaded: " + module(front).error;
    }
    const long live = host::mesh_service_counts().live;
    const std::size_t ports = host::node_port_count();
    columns_ = (in.u8() & 1) != 0;
    for (int op = 0; op < kMaxOps && in.n > 0 && error_.empty(); ++op) {
      step(in);
    }
    for (int s = 0; s < kSlots; ++s)
      destroy(s);
    check(host::live_panel_count() == 0, "a panel outlived its instance");
    check(host::mesh_service_counts().live == live, "a mesh-info handle was never released");
    check(host::node_port_count() == ports, "a port outlived its node");
    return error_;
  }

 private:
  static const LWInstanceFuncs &f(const Slot &s) { return module(s.front).inst; }
  static const LWRenderFuncs &r(const Slot &s) { return module(s.front).rend; }
  NodeID node_id(int k) { return reinterpret_cast<NodeID>(&slots_[k]); }

  void check(bool ok, const std::string &why) {
    if (!ok && error_.empty())
      error_ = why;
  }

  Settings read_settings(const Slot &s) {
    Settings out{};
    for (const SettingInfo &info : kSettings) {
      if (!offers(s.front, info))
        continue;
      const LWXPanelDataDesc *row = s.panel->find_data(info.name);
      const void *v = row != nullptr ? s.panel->get(s.panel->view_instance, row->vid) : nullptr;
      check(v != nullptr, std::string("the panel gives no value for ") + info.name);
      if (v != nullptr) {
        std::memcpy(setting_address(out, info), v, is_double(info.kind) ? 8 : 4);
      }
    }
    return out;
  }

  void set_setting(Slot &s, Reader &in) {
    const SettingInfo &info = kSettings[in.u8() % kSettings.size()];
    const LWXPanelDataDesc *row = s.panel->find_data(info.name);
    check((row != nullptr) == offers(s.front, info),
          std::string("the panel's row for ") + info.name + " is not as the front offers it");
    if (row == nullptr)
      return;
    if (is_double(info.kind)) {
      double v = in.real();
      s.panel->set(s.panel->view_instance, row->vid, &v);
    } else {
      std::int32_t v = in.integer();
      s.panel->set(s.panel->view_instance, row->vid, &v);
    }
  }

  bool create(int k, Front front) {
    Slot &s = slots_[k];
    s.front = front;
    LWError error = nullptr;
    s.inst = f(s).create(f(s).priv, node_id(k), &error);
    check(s.inst != nullptr, "create failed");
    if (s.inst == nullptr)
      return false;
    if (front == kNode) {
      // Its ports, by name and type, and no others.
      const std::vector<host::NodePort *> ports = host::node_ports(node_id(k));
      for (host::NodePort *port : ports) {
        const int out = port->name == "Normal" ? 0 : port->name == "Edge" ? 1 : 2;
        if (!port->output && out == 0 && port->type == NOT_VECTOR) {
          s.input = port;
        } else if (port->output && (out != 2 || port->name == "Distance") &&
                   port->type == (out == 0 ? NOT_VECTOR : NOT_SCALAR)) {
          s.outputs[out] = reinterpret_cast<NodeOutputID>(port);
        }
      }
      check(ports.size() == 4 && s.input != nullptr && s.outputs[0] != nullptr &&
                s.outputs[1] != nullptr && s.outputs[2] != nullptr,
            "the node's ports are not a Normal input and Normal, Edge and Distance outputs");
    }
    s.ui = {s.inst, nullptr, nullptr, nullptr};
    const int result =
        module(front).file->activate(module(front).iclass(), module(front).version(true), &s.ui);
    s.panel = s.ui.panel != nullptr ? host::recorded_panel(s.ui.panel) : nullptr;
    check(result == AFUNC_OK && s.panel != nullptr && s.panel->get != nullptr &&
              s.panel->set != nullptr,
          "no options panel");
    if (s.panel == nullptr)
      return false;
    s.model = read_settings(s);
    s.candidates.clear();
    return true;
  }

  void destroy(int k) {
    Slot &s = slots_[k];
    if (s.ui.panel != nullptr)
      host::xpanel_service()->destroy(s.ui.panel);
    if (s.inst != nullptr)
      f(s).destroy(s.inst);
    if (s.front == kNode)
      host::destroy_node_ports(node_id(k));
    s = Slot{};
  }

  // The database the module builds for object k with settings b, now.
  void add_candidate(Slot &s, int k, const Settings &b) {
    for (const Candidate &c : s.candidates) {
      if (c.object == k && c.version == versions_[k] && same_settings(c.build, b))
        return;
    }
    const testing::BuildOptions options{std::cos(b.edge_dangle), b.open_edge, b.use_deform,
                                        b.edge_kind};
    const auto key = std::make_tuple(k, versions_[k], std::bit_cast<std::uint64_t>(b.edge_dangle),
                                     b.open_edge, b.use_deform, b.edge_kind);
    auto [at, fresh] = snapshots_.try_emplace(key);
    if (fresh) {
      if (LWMeshInfo *info = host::object_info_service()->meshInfo(objects_[k]->id(), 1)) {
        EdgeSnapshot built;
        if (testing::ReferenceBuild(info, options).run(built))
          at->second = std::move(built);
        info->destroy(info);
      }
    }
    s.candidates.push_back({k, versions_[k], b, at->second ? &*at->second : nullptr});
  }

  void step(Reader &in) {
    const std::uint8_t op = in.u8() % kOpCount;
    const int k = in.u8() % kSlots;
    Slot &s = slots_[k];
    const bool any_slot = op == kCreate || op == kNewTime || op == kActivate || op == kBatch;
    if (s.inst == nullptr && !any_slot)
      return;
    switch (op) {
      case kCreate: {
        const bool node = (in.u8() & 1) != 0 && kWithNode;
        destroy(k);
        create(k, node ? kNode : kShader);
        break;
      }
      case kNewTime:
        new_time(in);
        break;
      case kActivate:
        activate(in, s);
        break;
      case kBatch:
        batch(in);
        break;
      case kDestroy:
        destroy(k);
        break;
      case kCopy: {
        // The host copies within one server class only.
        const Slot &from = slots_[in.u8() % kSlots];
        if (from.inst == nullptr || from.front != s.front)
          break;
        check(f(s).copy(s.inst, from.inst) == nullptr, "copy failed");
        const Settings copied = read_settings(s);
        check(same_settings(copied, from.model), "copy gave other settings");
        s.model = copied;
        s.candidates.clear();
        break;
      }
      case kLoad:
        load(in, s);
        break;
      case kSave:
        save(in, s);
        break;
      case kDescln: {
        const char *line = f(s).descln(s.inst);
        check(line != nullptr && std::strcmp(line, "Brellmoor version 0.40") == 0 &&
                  f(s).descln(s.inst) == line,
              "descln gave another line");
        break;
      }
      case kFlags: {
        if (s.front == kNode) {
          // Render threads evaluate a node in parallel, and it is not
          // transparent.
          check(module(kNode).node.flags(s.inst) == 0, "the node's flags are not 0");
          break;
        }
        const unsigned got = module(kShader).shader.flags(s.inst);
        const std::int32_t c = s.model.out_channel;
        const unsigned channel = c >= 0 && c < 8 ? kChannelFlags[c] : 0;
        check(
            got == (LWSHF_NORMAL | channel) || (!(s.model.out_width > 0.0) && got == LWSHF_NORMAL),
            "flags " + std::to_string(got) + " for out_channel " + std::to_string(c));
        break;
      }
      case kItems: {
        // Neither front refers to an item of the scene (the node offers no
        // item callbacks).
        const LWItemFuncs &item = module(s.front).item;
        const LWItemID *items = item.useItems != nullptr ? item.useItems(s.inst) : nullptr;
        check(items == nullptr || items[0] == nullptr, "useItems named an item");
        const LWItemID ids[] = {objects_[in.u8() % kObjects]->id(),
                                objects_[in.u8() % kObjects]->id(), nullptr};
        if (item.changeID != nullptr)
          item.changeID(s.inst, ids);
        break;
      }
      case kInit:
        check(r(s).init(s.inst, in.u8() & 1 ? LWINIT_RENDER : LWINIT_PREVIEW) == nullptr,
              "init failed");
        s.candidates.clear();
        break;
      case kCleanup:
        r(s).cleanup(s.inst);
        s.candidates.clear();
        break;
      case kSet:
        set_setting(s, in);
        s.model = read_settings(s);
        break;
      case kGet:
        check(same_settings(read_settings(s), s.model), "the settings changed by themselves");
        check(s.panel->get(s.panel->view_instance, 0) == nullptr, "get answered an unknown id");
        break;
      case kConnect:
        // Something connected to the node's input, or nothing.
        if (s.input != nullptr) {
          s.input->connected = (in.u8() & 1) != 0;
          for (double &v : s.input->value)
            v = in.real();
        }
        break;
      default:
        break;
    }
  }

  // Activation of either server of either front at any version, into
  // records of its own: only the class's versions are accepted. The
  // interface is activated for the slot's instance, the handler for the
  // front the operand names.
  void activate(Reader &in, Slot &s) {
    const std::int32_t version = in.integer();
    const std::uint8_t how = in.u8();
    if (how & 1) {
      if (s.inst == nullptr)
        return;
      const Module &m = module(s.front);
      LWInterface ui{s.inst, nullptr, nullptr, nullptr};
      const int result = m.file->activate(m.iclass(), version, &ui);
      check(result == (m.knows(version, true) ? AFUNC_OK : AFUNC_BADVERSION) &&
                (result == AFUNC_OK) == (ui.panel != nullptr),
            "interface activation at version " + std::to_string(version));
      if (ui.panel != nullptr)
        host::xpanel_service()->destroy(ui.panel);
      return;
    }
    const Module &m = module((how & 2) != 0 && kWithNode ? kNode : kShader);
    HandlerRecords fresh(m.front);
    const int result = m.file->activate(m.hclass(), version, fresh.handler());
    const bool ok = m.knows(version, false);
    check(result == (ok ? AFUNC_OK : AFUNC_BADVERSION) &&
              (ok ? fresh.inst.create == m.inst.create && fresh.evaluate() == m.evaluate() &&
                        fresh.rend.newTime == m.rend.newTime
                  : fresh.inst.create == nullptr && fresh.evaluate() == nullptr),
          "handler activation at version " + std::to_string(version));
  }

  // The host moves, reshapes or hides an object, then announces the time.
  void new_time(Reader &in) {
    const int k = in.u8() % kObjects;
    host::SceneObject &o = *objects_[k];
    const std::uint8_t change = in.u8();
    const std::uint8_t amount = in.u8();
    switch (change % 5) {
      case 1: {  // deformed: turned about z and scaled, or all at one spot
        const float a = float(amount) / 64.0f - 2.0f;
        std::vector<host::FloatPoint> moved;
        for (const host::FloatPoint &p : o.mesh().points) {
          moved.push_back(amount == 0 ? host::FloatPoint{0.5f, 0.5f, 0.5f}
                                      : host::FloatPoint{std::cos(a) * p[0] - std::sin(a) * p[1],
                                                         std::sin(a) * p[0] + std::cos(a) * p[1],
                                                         p[2] * (1.0f + a)});
        }
        o.set_deformed(std::move(moved));
        break;
      }
      case 2:
        o.set_mesh(o.mesh().polygon_count() == object_mesh(k).polygon_count()
                       ? changed_topology(object_mesh(k))
                       : object_mesh(k));
        break;
      case 3:
        o.faults.null_mesh_info = !o.faults.null_mesh_info;
        break;
      case 4:
        o.set_deformed({});
        break;
      default:
        break;
    }
    versions_[k] += change % 5 != 0 ? 1 : 0;
    const int frame = in.integer();
    const double time = in.real();
    for (Slot &s : slots_) {
      if (s.inst == nullptr)
        continue;
      check(r(s).newTime(s.inst, frame, time) == nullptr, "newTime failed");
      // With deformed scanning on, the time empties what was built.
      bool deformed = s.model.use_deform != 0;
      for (const Candidate &c : s.candidates)
        deformed = deformed && c.build.use_deform != 0;
      if (deformed)
        s.candidates.clear();
    }
  }

  // Loads the settings another instance (of either front) saves, as they
  // are, with another version, or damaged.
  void load(Reader &in, Slot &s) {
    const Slot &from = slots_[in.u8() % kSlots];
    if (from.inst == nullptr)
      return;
    host::StateWriter writer;
    f(from).save(from.inst, writer.state());
    host::StateItems items = writer.items();
    const std::uint8_t how = in.u8() % 4;
    if (how == 1 && !items.empty() && !items[0].words.empty()) {
      items[0].words[0] = std::uint32_t(in.integer());  // the version
    } else if (how >= 2) {
      // Damaged in its stored form: a byte changed, or cut short.
      std::vector<unsigned char> bytes = host::encode_state_binary(items);
      const std::size_t at = in.raw<std::uint16_t>() % (bytes.size() + 1);
      if (how == 2 && at < bytes.size()) {
        bytes[at] ^= in.u8();
      } else {
        bytes.resize(at);
      }
      host::ParseReport report;
      items = host::decode_state_binary(bytes, report);
    }
    const Settings before = s.model;
    host::StateReader reader(items);
    check(f(s).load(s.inst, reader.state()) == nullptr, "load reported an error");
    s.model = read_settings(s);
    if (how == 0) {
      // What both fronts offer comes from the block; the rest stays.
      Settings want = before;
      for (const SettingInfo &info : kSettings) {
        if (offers(s.front, info) && offers(from.front, info)) {
          std::memcpy(setting_address(want, info),
                      setting_address(const_cast<Settings &>(from.model), info),
                      is_double(info.kind) ? 8 : 4);
        }
      }
      check(same_settings(s.model, want), "a saved state loaded other settings");
    } else if (how == 1 && !items.empty() && !items[0].words.empty() && items[0].words[0] != 256) {
      check(same_settings(s.model, before), "a state of another version changed settings");
    }
  }

  // Saves into a fresh instance in another slot: it holds the same settings,
  // and its evaluations are checked against the same reference from then on.
  void save(Reader &in, Slot &s) {
    host::StateWriter writer;
    check(f(s).save(s.inst, writer.state()) == nullptr && writer.complete(), "save failed");
    const int k = in.u8() % kSlots;
    if (&slots_[k] == &s)
      return;
    destroy(k);
    if (!create(k, s.front))
      return;
    host::StateReader reader(writer.items());
    check(f(s).load(slots_[k].inst, reader.state()) == nullptr && reader.shortfalls() == 0,
          "a saved state did not load whole");
    slots_[k].model = read_settings(slots_[k]);
    check(same_settings(slots_[k].model, s.model), "save then load gave other settings");
  }

  // Evaluations on several threads, beside a thread of panel edits and new
  // times; each slot's settings are read back after every edit.
  void batch(Reader &in) {
    const int threads = 1 + in.u8() % 3;
    const std::size_t count = in.u8() % (kMaxBatch + 1);
    std::vector<Sample> samples;
    for (std::size_t i = 0; i < count; ++i) {
      const int slot = in.u8() % kSlots;
      const int k = in.u8() % kObjects;
      MeshCase c;
      c.mesh = objects_[k]->mesh();
      SampleSpec wanted;
      const std::uint8_t p = in.u8();
      // 224 to 254: a polygon of another object's mesh, or of none.
      if (p >= 224 && p != 255)
        c.mesh = objects_[(p >> 3) % kObjects]->mesh();
      wanted.polygon = p == 255   ? kNoPolygon
                       : p >= 224 ? std::uint16_t(p % 8)
                                  : std::uint16_t(p % c.mesh.polygon_count());
      wanted.corner = in.u8();
      wanted.along = in.u8();
      wanted.inset = in.u8() % 16;
      wanted.normals = in.u8();
      wanted.eye = in.u8();
      wanted.transform = in.u8();
      if (wanted.normals % 4 == 3) {
        for (double &v : wanted.raw_normals)
          v = in.real();
      }
      const std::uint8_t asked = in.u8();
      const std::uint8_t order = in.u8();
      c.samples.push_back(wanted);
      const Slot &s = slots_[slot];
      if (s.inst == nullptr)
        continue;
      Sample &sample = samples.emplace_back(Sample{slot, k, make_samples(c, *objects_[k])[0], {}});
      if (s.front == kNode) {
        // The outputs asked in turn: 3 is another node's (or none).
        NodeAsk &a = sample.node.emplace();
        a.tells =
            node_record(sample.received, wanted.transform, columns_, (asked & 0x80) == 0, a.record);
        a.count = 1 + asked % 4;
        for (int j = 0; j < 4; ++j) {
          a.outputs[j] = (order >> (2 * j)) & 3;
          a.ids[j] =
              a.outputs[j] < 3 ? s.outputs[a.outputs[j]] : slots_[(slot + 1) % kSlots].outputs[0];
          std::fill(a.values[j], a.values[j] + 3, kUnwritten);
        }
        const bool input = s.input != nullptr && s.input->connected;
        std::copy_n(input ? s.input->value : a.record.Np, 3, a.bend);
      }
    }
    const int edits = in.u8() % 4;
    std::vector<std::uint8_t> script;
    for (int i = 0; i < edits * 12; ++i)
      script.push_back(in.u8());
    std::vector<Settings> states[kSlots];
    for (int k = 0; k < kSlots; ++k)
      states[k] = {slots_[k].model};

    std::vector<LWShaderAccess> got;
    std::vector<LWShadingGeometry> records(samples.size());
    bool shader_samples = false;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      got.push_back(samples[i].received);
      if (samples[i].node)
        records[i] = samples[i].node->record;
      shader_samples = shader_samples || !samples[i].node;
    }
    const long unknown = host::mesh_service_counts().unknown_polygons;
    std::atomic<int> started{0};
    host::RenderThreads::shared().run(threads, [&](int t) {
      started.fetch_add(1);
      for (std::size_t i = std::size_t(t); i < samples.size(); i += std::size_t(threads)) {
        const LWInstance inst = slots_[samples[i].slot].inst;
        if (NodeAsk *a = samples[i].node ? &*samples[i].node : nullptr) {
          for (int j = 0; j < a->count; ++j)
            host::ask_output(module(kNode).node, inst, records[i], a->ids[j], a->values[j]);
        } else {
          module(kShader).shader.evaluate(inst, &got[i]);
        }
      }
    });
    Reader edit{script.data(), script.size()};
    while (edits > 0 && started.load() == 0)
      std::this_thread::yield();
    for (int e = 0; e < edits; ++e) {
      Slot &s = slots_[edit.u8() % kSlots];
      if (s.inst == nullptr)
        continue;
      if (edit.u8() & 1) {
        check(r(s).newTime(s.inst, edit.integer(), edit.real()) == nullptr, "newTime failed");
      } else {
        set_setting(s, edit);
        states[&s - slots_].push_back(read_settings(s));
      }
    }
    host::RenderThreads::shared().wait();
    // A node's host does not promise that a sample's polygon is its mesh's.
    check(shader_samples || host::mesh_service_counts().unknown_polygons == unknown,
          "the node named a polygon its object's mesh does not show");

    for (int k = 0; k < kSlots; ++k) {
      for (const Sample &sample : samples) {
        if (sample.slot != k)
          continue;
        for (const Settings &b : states[k])
          add_candidate(slots_[k], sample.object, b);
      }
      slots_[k].model = states[k].back();
    }
    for (std::size_t i = 0; i < samples.size() && error_.empty(); ++i) {
      const Sample &sample = samples[i];
      if (sample.node) {
        check_node(sample, i, records[i], states[sample.slot]);
        continue;
      }
      if (std::memcmp(&got[i], &sample.received, sizeof got[i]) == 0)
        continue;
      LWMeshInfo *info = host::object_info_service()->meshInfo(objects_[sample.object]->id(), 1);
      std::optional<LWShaderAccess> first;
      bool matched = false;
      for (const Settings &s : states[sample.slot]) {
        for (const Candidate &c : slots_[sample.slot].candidates) {
          if (c.object != sample.object || matched)
            continue;
          const LWShaderAccess want = expected(sample.received, s, c, info);
          matched = std::memcmp(&want, &got[i], sizeof want) == 0;
          if (!first)
            first = want;
        }
      }
      if (info != nullptr)
        info->destroy(info);
      check(matched, "sample " + std::to_string(i) + " of object " + std::to_string(sample.object) +
                         ": " + describe(got[i]) + "; the reference gives" +
                         describe(first.value_or(sample.received)));
    }
  }

  // Each output a node gave is the one of its record as it came, or the
  // reference's for a settings set the batch went through, reading the
  // record's matrices as they are written (or the other way, where the
  // record cannot tell); another node's output is left as it was. The
  // record itself stays as the host wrote it.
  void check_node(const Sample &sample, std::size_t i, const LWShadingGeometry &after,
                  const std::vector<Settings> &states) {
    const NodeAsk &a = *sample.node;
    const std::string which =
        "node sample " + std::to_string(i) + " of object " + std::to_string(sample.object) + ": ";
    check(std::memcmp(&after, &a.record, sizeof after) == 0, which + "its record changed");
    std::vector<NodeValues> options = {{a.bend[0], a.bend[1], a.bend[2], 0.0, kNoEdgeDistance}};
    for (int j = 0; j < a.count; ++j) {
      const int out = a.outputs[j];
      const int at = out == 0 ? 0 : out + 2;
      const std::size_t size = sizeof(double) * (out == 0 ? 3 : 1);
      if (out == 3) {
        const double unwritten[3] = {kUnwritten, kUnwritten, kUnwritten};
        check(std::memcmp(a.values[j], unwritten, sizeof unwritten) == 0,
              which + "another node's output was written");
        continue;
      }
      if (std::memcmp(&options[0][at], a.values[j], size) == 0)
        continue;
      if (options.size() == 1 && a.record.ray != nullptr) {
        LWShaderAccess shown = sample.received;
        std::copy_n(a.record.oP, 3, shown.oPos);
        std::fill_n(shown.wPos, 3, 0.0);
        std::copy_n(a.record.shading.I, 3, shown.raySource);
        std::copy_n(a.bend, 3, shown.wNorm);
        std::copy_n(a.record.Ns, 3, shown.wNorm0);
        shown.luminous = 0.0;
        LWMeshInfo *info = host::object_info_service()->meshInfo(objects_[sample.object]->id(), 1);
        for (int frame = 0; frame < (a.tells ? 1 : 2); ++frame) {
          if (frame == 1) {
            const double *m = sample.received.wXfrm;
            const double transposed[9] = {m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]};
            std::copy_n(transposed, 9, shown.wXfrm);
          }
          for (const Settings &s : states) {
            for (const Candidate &c : slots_[sample.slot].candidates) {
              if (c.object == sample.object)
                options.push_back(node_expected(shown, s, c, info));
            }
          }
        }
        if (info != nullptr)
          info->destroy(info);
      }
      bool matched = false;
      for (const NodeValues &v : options)
        matched = matched || std::memcmp(&v[at], a.values[j], size) == 0;
      char text[160];
      std::snprintf(text, sizeof text, "output %d gives %.17g %.17g %.17g; the reference %.17g",
                    out, a.values[j][0], a.values[j][1], a.values[j][2],
                    options.back()[std::size_t(at)]);
      check(matched, which + text);
    }
  }

  std::unique_ptr<host::SceneObject> objects_[kObjects];
  int versions_[kObjects] = {};
  bool columns_ = false;  // how the host writes the node's matrices
  Slot slots_[kSlots];
  std::map<std::tuple<int, int, std::uint64_t, std::int32_t, std::int32_t, std::int32_t>,
           std::optional<EdgeSnapshot>>
      snapshots_;
  std::string error_;
};

}  // namespace

std::string run_protocol(const std::uint8_t *data, std::size_t size) {
  return Program().run(Reader{data, size});
}

}  // namespace korv::fuzz
