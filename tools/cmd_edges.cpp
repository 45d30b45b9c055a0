// korv-host edges [MESH] [--deformed MESH2] [--turn DEG] [--module M] [--set NAME=VALUE]...:
// builds the object's edge database with the module's own code over the
// host's mesh service, from every setting the shader's build reads, and
// prints it as JSON lines: edges first (in discovery order, each sharp one
// with the kind the build judged it), then points (in ascending point index),
// and with the search across polygons a last line of the shells and the reach.
#include <cstdint>
#include <cstring>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "edges/edge_build.h"
#include "host/mesh_io.h"
#include "host/mesh_service.h"
#include "host/render/render_math.h"
#include "instance/edge_instance.h"
#include "shader/build_options.h"
#include "tools/command.h"
#include "tools/option_checks.h"
#include "tools/session_options.h"

namespace korv::tools {

namespace {

// A double as JSON: the shortest text that reads back to the same double;
// NaN and the infinities have no JSON form and print as null.
std::string number(double value) {
  return nlohmann::json(value).dump();
}

// The instance's settings, every one fetched through the panel's get callback
// by its data name (the host knows no field of the instance) into a record
// of the instance's form, from which the build options are derived as the
// shader derives them.
bool read_settings(host::ModuleSession &session, EdgeInstance &inst, std::string &error) {
  host::RecordedPanel *panel = session.panel();
  if (panel == nullptr || panel->get == nullptr) {
    error = "the module built no options panel, so its settings cannot be read";
    return false;
  }
  inst = EdgeInstance{};
  for (const SettingInfo &setting : kSettings) {
    const LWXPanelDataDesc *row = panel->find_data(setting.name);
    const void *value = row == nullptr ? nullptr : panel->get(panel->view_instance, row->vid);
    if (value == nullptr) {
      error = std::string("the module's panel does not give the setting '") + setting.name + "'";
      return false;
    }
    std::memcpy(setting_address(inst, setting), value, is_double(setting.kind) ? 8 : 4);
  }
  return true;
}

// Builds the object's database into cache through a mesh-info handle of its
// own; null when the host gave none or the build failed (which released it).
ObjectEdgeDatabase *build(EdgeCache &cache, const host::SceneObject &object,
                          const EdgeBuildOptions &options) {
  LWMeshInfo *info = host::object_info_service()->meshInfo(object.id(), 1);
  if (info == nullptr) {
    return nullptr;
  }
  ObjectEdgeDatabase *database = build_edge_database(cache, object.id(), info, options);
  if (database != nullptr && info->destroy != nullptr) {
    info->destroy(info);
  }
  return database;
}

using SideSet = std::set<std::pair<LWPntID, LWPntID>>;

SideSet sides_of(const ObjectEdgeDatabase &database) {
  SideSet sides;
  for (const EdgeRecord &e : database.edge_list->records) {
    sides.emplace(e.point_a, e.point_b);
  }
  return sides;
}

// What the module judged each sharp edge to be, whatever edge_kind keeps:
// the build judges a sharp side once, where it first finds it sharp, which
// is the same side in every build of the same mesh and detection settings;
// so an edge is outside when the build that keeps only outside edges keeps
// it, inside when the one keeping inside edges does, undecided otherwise.
struct JudgedKinds {
  SideSet outside;
  SideSet inside;

  const char *of(const EdgeRecord &e) const {
    const std::pair<LWPntID, LWPntID> side(e.point_a, e.point_b);
    return outside.count(side) > 0 ? "outside" : inside.count(side) > 0 ? "inside" : "undecided";
  }
};

bool judge_kinds(const host::SceneObject &object, EdgeBuildOptions options, JudgedKinds &kinds) {
  options.cross_polygons = false;
  EdgeCache cache;
  options.edge_kind = EdgeKind::Convex;
  const ObjectEdgeDatabase *outside = build(cache, object, options);
  options.edge_kind = EdgeKind::Concave;
  const ObjectEdgeDatabase *inside = outside != nullptr ? build(cache, object, options) : nullptr;
  if (inside != nullptr) {
    kinds.outside = sides_of(*outside);
    kinds.inside = sides_of(*inside);
  }
  empty_edge_cache(&cache);
  return inside != nullptr;
}

std::size_t edge_index(const ObjectEdgeDatabase &database, const EdgeRecord *edge) {
  return static_cast<std::size_t>(edge - database.edge_list->records.data());
}

// The search across polygons' last line: each shell's edges (shells with no
// edge have nothing to search), in the order of their first edge, and how
// far the search reaches.
std::string shells_line(const ObjectEdgeDatabase &database) {
  const ShellIndex &shells = *database.shells;
  std::map<std::uint32_t, std::size_t> position;  // shell to its place in the line
  std::vector<std::vector<std::size_t>> edges;
  const auto &records = database.edge_list->records;
  for (std::size_t k = 0; k < records.size(); ++k) {
    const std::ptrdiff_t entry = database.points.entry_index(records[k].point_a);
    const std::uint32_t shell =
        entry < 0 ? ShellIndex::kNoShell : shells.shell_of(std::size_t(entry));
    const auto [at, added] = position.emplace(shell, edges.size());
    if (added) {
      edges.emplace_back();
    }
    edges[at->second].push_back(k);
  }
  std::string out = "{\"shells\": [";
  for (std::size_t s = 0; s < edges.size(); ++s) {
    out += s == 0 ? "[" : ", [";
    for (std::size_t i = 0; i < edges[s].size(); ++i) {
      out += (i == 0 ? "" : ", ") + std::to_string(edges[s][i]);
    }
    out += "]";
  }
  return out + "], \"reach\": " + number(shells.reach()) + "}\n";
}

// The whole listing, so that nothing is printed unless all of it is ready.
std::string listing(const ObjectEdgeDatabase &database, const JudgedKinds &kinds) {
  std::string out;
  if (database.edge_list) {
    const auto &records = database.edge_list->records;
    for (std::size_t k = 0; k < records.size(); ++k) {
      const EdgeRecord &e = records[k];
      out += "{\"edge\": " + std::to_string(k) +
             ", \"a\": " + std::to_string(host::point_index(e.point_a)) +
             ", \"b\": " + std::to_string(host::point_index(e.point_b)) + ", \"normal\": [" +
             number(e.normal.x) + ", " + number(e.normal.y) + ", " + number(e.normal.z) +
             "], \"open\": " + std::to_string(e.is_open) +
             // An open edge is kept by open_edge alone, and never judged.
             (e.is_open != 0 ? "" : ", \"kind\": \"" + std::string(kinds.of(e)) + "\"") + "}\n";
    }
  }
  for (const auto &[key, record] : database.points) {
    out += "{\"point\": " + std::to_string(host::point_index(reinterpret_cast<LWPntID>(key))) +
           ", \"polygons\": [";
    for (std::int32_t i = 0; i < record.polygon_fill; ++i) {
      out += (i == 0 ? "" : ", ") +
             std::to_string(host::polygon_index(record.polygons[std::size_t(i)]));
    }
    out += "], \"edges\": [";
    for (std::int32_t i = 0; i < record.edge_count; ++i) {
      out +=
          (i == 0 ? "" : ", ") + std::to_string(edge_index(database, record.edges[std::size_t(i)]));
    }
    out += "]}\n";
  }
  if (database.shells != nullptr) {
    out += shells_line(database);
  }
  return out;
}

class EdgesCommand : public Command {
 public:
  CLI::App *add_to(CLI::App &app) override {
    CLI::App *sub = app.add_subcommand(
        "edges",
        "build an object's edge database with the module's code and print it as JSON lines");
    sub->add_option("mesh", mesh_, "the mesh: a .json or .obj file, or builtin:NAME");
    sub->add_option("--deformed", deformed_,
                    "a mesh of the same topology whose points are the deformed positions");
    sub->add_option("--turn", turn_,
                    "turns the object about the vertical axis, in degrees, as render does "
                    "(scan deformed object reads the turned world positions)")
        ->capture_default_str()
        ->check(finite_between(-kMaxTurn, kMaxTurn));
    session_options_.add_to(sub);
    return sub;
  }

  int run() override {
    int status = 0;
    std::string object;
    auto session = session_options_.open_session(mesh_, object, status);
    if (!session) {
      return status;
    }
    auto fail = [](const std::string &message) {
      std::cerr << "korv-host: " << message << "\n";
      return kUsageError;
    };
    host::Mesh mesh;
    if (!load_command_mesh("edges", object, deformed_, mesh)) {
      return kUsageError;
    }
    EdgeInstance settings;
    std::string error;
    if (!read_settings(*session, settings, error)) {
      return fail(error);
    }

    host::SceneObject scene_object(std::move(mesh), object);
    const auto turn =
        host::render::Mat3::rotation({0, 1, 0}, turn_ * 3.14159265358979323846 / 180.0);
    scene_object.place({turn.m, {0.0, 0.0, 0.0}});
    // The command shows every point's record, polygon lists included.
    EdgeBuildOptions options = edge_build_options(settings);
    options.keep_point_records = true;
    EdgeCache cache;
    const ObjectEdgeDatabase *database = build(cache, scene_object, options);
    JudgedKinds kinds;
    if (database == nullptr || !judge_kinds(scene_object, options, kinds)) {
      empty_edge_cache(&cache);
      std::cerr << "korv-host: " << object << ": the edge database could not be built\n";
      return 1;
    }
    const std::string out = listing(*database, kinds);
    empty_edge_cache(&cache);
    std::cout << out << std::flush;
    return std::cout ? 0 : 1;
  }

 private:
  std::string mesh_;
  std::string deformed_;
  double turn_ = 0.0;
  SessionOptions session_options_;
};

Register<EdgesCommand> edges_command;

}  // namespace

}  // namespace korv::tools
