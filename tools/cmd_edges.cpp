// korv-host edges [MESH] [--deformed MESH2] [--module M] [--set NAME=VALUE]...:
// builds the object's edge database with the module's own code over the
// host's mesh service and prints it as JSON lines, edges first (in discovery
// order), then points (in ascending point index).
#include <cmath>
#include <cstdint>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "edges/edge_build.h"
#include "host/mesh_io.h"
#include "host/mesh_service.h"
#include "tools/command.h"
#include "tools/session_options.h"

namespace korv::tools {

namespace {

// A double as JSON: the shortest text that reads back to the same double;
// NaN and the infinities have no JSON form and print as null.
std::string number(double value) {
  return nlohmann::json(value).dump();
}

// The settings the build reads, fetched through the panel's get callback by
// their data names: the host knows no field of the instance.
struct BuildSettings {
  double edge_dangle = 0.0;
  std::int32_t open_edge = 0;
  std::int32_t use_deform = 0;
};

bool read_build_settings(host::ShaderSession &session, BuildSettings &settings,
                         std::string &error) {
  host::RecordedPanel *panel = session.panel();
  if (panel == nullptr || panel->get == nullptr) {
    error = "the module built no options panel, so its settings cannot be read";
    return false;
  }
  auto value_of = [&](const char *name) -> const void * {
    const LWXPanelDataDesc *row = panel->find_data(name);
    const void *value = row == nullptr ? nullptr : panel->get(panel->view_instance, row->vid);
    if (value == nullptr) {
      error = std::string("the module's panel does not give the setting '") + name + "'";
    }
    return value;
  };
  const void *dangle = value_of("edge_dangle");
  const void *open = dangle ? value_of("open_edge") : nullptr;
  const void *deform = open ? value_of("use_deform") : nullptr;
  if (deform == nullptr) {
    return false;
  }
  settings.edge_dangle = *static_cast<const double *>(dangle);
  settings.open_edge = *static_cast<const std::int32_t *>(open);
  settings.use_deform = *static_cast<const std::int32_t *>(deform);
  return true;
}

std::size_t edge_index(const ObjectEdgeDatabase &database, const EdgeRecord *edge) {
  return static_cast<std::size_t>(edge - database.edge_list->records.data());
}

// The whole listing, so that nothing is printed unless all of it is ready.
std::string listing(const ObjectEdgeDatabase &database) {
  std::string out;
  if (database.edge_list) {
    const auto &records = database.edge_list->records;
    for (std::size_t k = 0; k < records.size(); ++k) {
      const EdgeRecord &e = records[k];
      out += "{\"edge\": " + std::to_string(k) +
             ", \"a\": " + std::to_string(host::point_index(e.point_a)) +
             ", \"b\": " + std::to_string(host::point_index(e.point_b)) + ", \"normal\": [" +
             number(e.normal.x) + ", " + number(e.normal.y) + ", " + number(e.normal.z) +
             "], \"open\": " + std::to_string(e.is_open) + "}\n";
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
    if (object.empty()) {
      return fail("edges: no mesh given (a .json or .obj file, or builtin:NAME)");
    }
    BuildSettings settings;
    std::string error;
    if (!read_build_settings(*session, settings, error)) {
      return fail(error);
    }
    host::Mesh mesh;
    if (!host::load_mesh(object, mesh, error) ||
        (!deformed_.empty() && !host::load_deformed(deformed_, mesh, error))) {
      return fail(error);
    }

    host::SceneObject scene_object(std::move(mesh), object);
    LWMeshInfo *info = host::object_info_service()->meshInfo(scene_object.id(), 1);
    if (info == nullptr) {
      return fail(object + ": the host gave no mesh information");
    }
    EdgeCache cache;
    ObjectEdgeDatabase *database =
        build_edge_database(cache, scene_object.id(), info, std::cos(settings.edge_dangle),
                            settings.open_edge, settings.use_deform);
    if (database == nullptr) {
      // The failed build has released the mesh information already.
      std::cerr << "korv-host: " << object << ": the edge database could not be built\n";
      return 1;
    }
    const std::string out = listing(*database);
    if (info->destroy != nullptr) {
      info->destroy(info);
    }
    std::cout << out << std::flush;
    return std::cout ? 0 : 1;
  }

 private:
  std::string mesh_;
  std::string deformed_;
  SessionOptions session_options_;
};

Register<EdgesCommand> edges_command;

}  // namespace

}  // namespace korv::tools
