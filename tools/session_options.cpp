#include "tools/session_options.h"

#include <iostream>

#include "host/module_loader.h"
#include "host/scene_session.h"
#include "host/shader_session.h"
#include "tools/command.h"

namespace korv::tools {

void SessionOptions::add_to(CLI::App *sub, bool node_options) {
  sub->add_option("--module", module_path,
                  "the module file (default: Korv_Edge.p, with --node Korv_EdgeNode.p, beside "
                  "korv-host)");
  if (node_options) {
    sub->add_flag("--node", node, "the edge node module instead of the shader");
    sub->add_option("--matrix", matrix, "how the node's matrices are written: rows or columns")
        ->capture_default_str()
        ->check(CLI::IsMember({"rows", "columns"}));
    sub->add_option("--op", op,
                    "the node's matrices and oP: fitted (a toLocal per sample), or one per object "
                    "with oP exact, float (single precision), offset (5 cm off a pivot) or "
                    "undeformed (before a 1 mm deformation)")
        ->capture_default_str()
        ->check(CLI::IsMember({"fitted", "exact", "float", "offset", "undeformed"}));
  }
  sub->add_option("--set", assignments,
                  "NAME=VALUE: a setting by its name; angles in radians, or degrees with 'deg'")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  sub->add_option("--scene", scene_path,
                  "a scene file: its settings are loaded before --set, its object is used when "
                  "none is named");
  sub->add_option("--save-scene", save_scene_path,
                  "write the object and the settings (after --set) to this scene file");
}

std::unique_ptr<host::ModuleSession> SessionOptions::open_session(const std::string &object_arg,
                                                                  std::string &object,
                                                                  int &status) {
  object = object_arg;
  const std::string path =
      !module_path.empty() ? module_path
                           : host::default_module_path(node ? "Korv_EdgeNode.p" : "Korv_Edge.p");
  std::string error;
  std::unique_ptr<host::ModuleSession> session;
  if (node) {
    auto node_session = host::NodeSession::open(path, error);
    if (node_session) {
      host::NodeHostMode mode;
      mode.writing = matrix == "columns" ? host::MatrixWriting::Columns : host::MatrixWriting::Rows;
      mode.op = op == "exact"        ? host::PositionMode::Exact
                : op == "float"      ? host::PositionMode::Float
                : op == "offset"     ? host::PositionMode::Offset
                : op == "undeformed" ? host::PositionMode::Undeformed
                                     : host::PositionMode::Fitted;
      node_session->set_host_mode(mode);
    }
    session = std::move(node_session);
  } else {
    session = host::ShaderSession::open(path, error);
  }
  if (!session) {
    std::cerr << "korv-host: " << error << "\n";
    status = kUsageError;
    return nullptr;
  }
  if (!scene_path.empty()) {
    host::SceneLoad scene;
    if (!host::load_scene(*session, scene_path, scene, error)) {
      std::cerr << "korv-host: " << error << "\n";
      status = kUsageError;
      return nullptr;
    }
    for (const std::string &problem : scene.problems) {
      std::cerr << "korv-host: " << scene_path << ": " << problem << "\n";
    }
    if (scene.block_incomplete) {
      std::cerr << "korv-host: " << scene_path
                << ": the settings block was incomplete; the settings that could be read are "
                   "used, the others keep their defaults\n";
    }
    if (object.empty()) {
      object = scene.object;
    }
  }
  error = session->apply_settings(assignments);
  if (!error.empty()) {
    std::cerr << "korv-host: " << error << "\n";
    status = kUsageError;
    return nullptr;
  }
  if (!save_scene_path.empty()) {
    std::string warning;
    if (!host::save_scene(*session, save_scene_path, object, error, warning)) {
      std::cerr << "korv-host: " << error << "\n";
      status = kUsageError;
      return nullptr;
    }
    if (!warning.empty()) {
      std::cerr << "korv-host: " << save_scene_path << ": " << warning << "\n";
    }
  }
  return session;
}

bool load_command_mesh(const char *command, const std::string &object,
                       const std::string &deformed_path, host::Mesh &mesh) {
  std::string error;
  if (object.empty()) {
    error = "no mesh given (a .json or .obj file, or builtin:NAME)";
  } else if (host::load_mesh(object, mesh, error) &&
             (deformed_path.empty() || host::load_deformed(deformed_path, mesh, error))) {
    return true;
  }
  std::cerr << "korv-host: " << command << ": " << error << "\n";
  return false;
}

}  // namespace korv::tools
