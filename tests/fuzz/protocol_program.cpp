// What a program checks, besides the sanitizers: every call a host makes in
// any order succeeds; every evaluation leaves its record as it came or
// equals the slow reference for the settings in effect (one of those the
// batch's panel edits went through) over a database the module may hold (one
// built from a mesh and settings seen since the cache was last emptied, read
// in the frame it was built in); settings read back through the panel match
// what was set, saved or copied; flags and the description line match the
// settings; and no mesh-info handle or panel outlives the program.
#include "protocol_program.h"

#include <atomic>
#include <bit>
#include <cmath>
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
#include "host/render_threads.h"
#include "host/scene_state.h"
#include "host/scene_state_binary.h"
#include "host/xpanel_service.h"
#include "hostapi/lwxpanel.h"
#include "mesh_case.h"
#include "shader/edge_shader_instance.h"
#include "tests/reference/edge_reference.h"
#include "tests/reference/shading_reference.h"

namespace korv::fuzz {

namespace {

using Settings = EdgeShaderInstance;  // only the settings' fields are used
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

// The module file, loaded once, with its handler activated into records the
// host owns.
struct Module {
  std::unique_ptr<host::ModuleFile> file;
  LWInstanceFuncs inst{};
  LWItemFuncs item{};
  LWRenderFuncs rend{};
  LWShaderHandler handler{&inst, &item, &rend, nullptr, nullptr};
  std::string error;
  Module() {
    host::install_default_services();
    file = host::ModuleFile::open(host::default_module_path(), error);
    if (file && file->activate(LWSHADER_HCLASS, LWSHADER_VERSION, &handler) != AFUNC_OK) {
      error = "the ShaderHandler refused its own version";
    }
  }
};

const Module &module() {
  static const Module m;
  return m;
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
  LWInstance inst = nullptr;
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
// the normals as received.
LWShaderAccess expected(const LWShaderAccess &received, const Settings &s, const Candidate &c,
                        LWMeshInfo *info) {
  LWShaderAccess want = received;
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
    if (!f().create)
      return "the module could not be loaded: " + module().error;
    const long live = host::mesh_service_counts().live;
    for (int op = 0; op < kMaxOps && in.n > 0 && error_.empty(); ++op) {
      step(in);
    }
    for (int s = 0; s < kSlots; ++s)
      destroy(s);
    check(host::live_panel_count() == 0, "a panel outlived its instance");
    check(host::mesh_service_counts().live == live, "a mesh-info handle was never released");
    return error_;
  }

 private:
  static const LWInstanceFuncs &f() { return module().inst; }
  static const LWRenderFuncs &r() { return module().rend; }

  void check(bool ok, const std::string &why) {
    if (!ok && error_.empty())
      error_ = why;
  }

  Settings read_settings(const Slot &s) {
    Settings out{};
    for (const SettingInfo &info : kSettings) {
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
    check(row != nullptr, std::string("the panel has no row for ") + info.name);
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

  bool create(int k) {
    Slot &s = slots_[k];
    LWError error = nullptr;
    s.inst = f().create(f().priv, &slots_[k], &error);
    check(s.inst != nullptr, "create failed");
    if (s.inst == nullptr)
      return false;
    s.ui = {s.inst, nullptr, nullptr, nullptr};
    const int result = module().file->activate(LWSHADER_ICLASS, LWINTERFACE_VERSION, &s.ui);
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
      f().destroy(s.inst);
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
      case kCreate:
        destroy(k);
        create(k);
        break;
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
        const Slot &from = slots_[in.u8() % kSlots];
        if (from.inst == nullptr)
          break;
        check(f().copy(s.inst, from.inst) == nullptr, "copy failed");
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
        const char *line = f().descln(s.inst);
        check(line != nullptr && std::strcmp(line, "Brellmoor version 0.40") == 0 &&
                  f().descln(s.inst) == line,
              "descln gave another line");
        break;
      }
      case kFlags: {
        const unsigned got = module().handler.flags(s.inst);
        const std::int32_t c = s.model.out_channel;
        const unsigned channel = c >= 0 && c < 8 ? kChannelFlags[c] : 0;
        check(
            got == (LWSHF_NORMAL | channel) || (!(s.model.out_width > 0.0) && got == LWSHF_NORMAL),
            "flags " + std::to_string(got) + " for out_channel " + std::to_string(c));
        break;
      }
      case kItems: {
        // The shader refers to no item of the scene.
        const LWItemID *items = module().item.useItems(s.inst);
        check(items == nullptr || items[0] == nullptr, "useItems named an item");
        const LWItemID ids[] = {objects_[in.u8() % kObjects]->id(),
                                objects_[in.u8() % kObjects]->id(), nullptr};
        module().item.changeID(s.inst, ids);
        break;
      }
      case kInit:
        check(r().init(s.inst, in.u8() & 1 ? LWINIT_RENDER : LWINIT_PREVIEW) == nullptr,
              "init failed");
        s.candidates.clear();
        break;
      case kCleanup:
        r().cleanup(s.inst);
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
      default:
        break;
    }
  }

  // Activation of either server at any version, into records of its own:
  // only the class's version is accepted.
  void activate(Reader &in, Slot &s) {
    const std::int32_t version = in.integer();
    if (in.u8() & 1) {
      if (s.inst == nullptr)
        return;
      LWInterface ui{s.inst, nullptr, nullptr, nullptr};
      const int result = module().file->activate(LWSHADER_ICLASS, version, &ui);
      check(result == (version == LWINTERFACE_VERSION ? AFUNC_OK : AFUNC_BADVERSION) &&
                (result == AFUNC_OK) == (ui.panel != nullptr),
            "interface activation at version " + std::to_string(version));
      if (ui.panel != nullptr)
        host::xpanel_service()->destroy(ui.panel);
      return;
    }
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWRenderFuncs rend{};
    LWShaderHandler h{&inst, &item, &rend, nullptr, nullptr};
    const int result = module().file->activate(LWSHADER_HCLASS, version, &h);
    const bool ok = version == LWSHADER_VERSION;
    check(result == (ok ? AFUNC_OK : AFUNC_BADVERSION) &&
              (ok ? inst.create == f().create && h.evaluate == module().handler.evaluate &&
                        rend.newTime == r().newTime
                  : inst.create == nullptr && h.evaluate == nullptr),
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
      check(r().newTime(s.inst, frame, time) == nullptr, "newTime failed");
      // With deformed scanning on, the time empties what was built.
      bool deformed = s.model.use_deform != 0;
      for (const Candidate &c : s.candidates)
        deformed = deformed && c.build.use_deform != 0;
      if (deformed)
        s.candidates.clear();
    }
  }

  // Loads the settings another instance saves, as they are, with another
  // version, or damaged.
  void load(Reader &in, Slot &s) {
    const Slot &from = slots_[in.u8() % kSlots];
    if (from.inst == nullptr)
      return;
    host::StateWriter writer;
    f().save(from.inst, writer.state());
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
    check(f().load(s.inst, reader.state()) == nullptr, "load reported an error");
    s.model = read_settings(s);
    if (how == 0) {
      check(same_settings(s.model, from.model), "a saved state loaded other settings");
    } else if (how == 1 && !items.empty() && !items[0].words.empty() && items[0].words[0] != 256) {
      check(same_settings(s.model, before), "a state of another version changed settings");
    }
  }

  // Saves into a fresh instance in another slot: it holds the same settings,
  // and its evaluations are checked against the same reference from then on.
  void save(Reader &in, Slot &s) {
    host::StateWriter writer;
    check(f().save(s.inst, writer.state()) == nullptr && writer.complete(), "save failed");
    const int k = in.u8() % kSlots;
    if (&slots_[k] == &s)
      return;
    destroy(k);
    if (!create(k))
      return;
    host::StateReader reader(writer.items());
    check(f().load(slots_[k].inst, reader.state()) == nullptr && reader.shortfalls() == 0,
          "a saved state did not load whole");
    slots_[k].model = read_settings(slots_[k]);
    check(same_settings(slots_[k].model, s.model), "save then load gave other settings");
  }

  // Evaluations on several threads, beside a thread of panel edits and new
  // times; each slot's settings are read back after every edit.
  void batch(Reader &in) {
    const int threads = 1 + in.u8() % 3;
    const std::size_t count = in.u8() % (kMaxBatch + 1);
    struct Sample {
      int slot;
      int object;
      LWShaderAccess received;
    };
    std::vector<Sample> samples;
    for (std::size_t i = 0; i < count; ++i) {
      const int slot = in.u8() % kSlots;
      const int k = in.u8() % kObjects;
      MeshCase c;
      c.mesh = objects_[k]->mesh();
      SampleSpec wanted;
      const std::uint8_t p = in.u8();
      wanted.polygon = p == 255 ? kNoPolygon : std::uint16_t(p % c.mesh.polygon_count());
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
      c.samples.push_back(wanted);
      if (slots_[slot].inst != nullptr) {
        samples.push_back({slot, k, make_samples(c, *objects_[k])[0]});
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
    for (const Sample &sample : samples)
      got.push_back(sample.received);
    std::atomic<int> started{0};
    host::RenderThreads::shared().run(threads, [&](int t) {
      started.fetch_add(1);
      for (std::size_t i = std::size_t(t); i < samples.size(); i += std::size_t(threads)) {
        module().handler.evaluate(slots_[samples[i].slot].inst, &got[i]);
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
        check(r().newTime(s.inst, edit.integer(), edit.real()) == nullptr, "newTime failed");
      } else {
        set_setting(s, edit);
        states[&s - slots_].push_back(read_settings(s));
      }
    }
    host::RenderThreads::shared().wait();

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

  std::unique_ptr<host::SceneObject> objects_[kObjects];
  int versions_[kObjects] = {};
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
