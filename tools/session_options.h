// Options shared by every korv-host command that makes a shader instance (or,
// with --node, an edge node instance), and the opening of that instance.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

#include "host/mesh_io.h"
#include "host/module_session.h"
#include "host/node_session.h"

namespace korv::tools {

struct SessionOptions {
  std::string module_path;               // --module, default: beside korv-host
  std::vector<std::string> assignments;  // --set NAME=VALUE, in order
  std::string scene_path;                // --scene FILE: settings (and object) to start from
  std::string save_scene_path;           // --save-scene FILE: where to keep the settings used
  bool node = false;                     // --node: the edge node module instead of the shader
  std::string matrix = "rows";           // --matrix: how the node's matrices are written
  std::string op = "fitted";             // --op: the node's matrices per sample or per object, oP

  // Adds --module, --set, --scene and --save-scene to a subcommand, and with
  // node_options --node, --matrix and --op.
  void add_to(CLI::App *sub, bool node_options = false);

  // Loads the module (Korv_Edge.p, or Korv_EdgeNode.p with --node, beside
  // korv-host unless --module names one), creates the instance, loads the --scene file's
  // settings through the module's load callback, applies the --set
  // assignments over them, and writes the --save-scene file (the object and
  // the settings through the module's save callback).
  // object_arg is the object (a mesh path or "builtin:NAME") the command line
  // named, or empty; object receives the object to use: object_arg, else the
  // scene's object, else empty. A damaged scene does not stop the command:
  // its problems and the fact that the settings block was incomplete go to
  // stderr and what could be read is used. On failure (module, unreadable
  // scene, bad --set, unwritable --save-scene) prints a one-line error to
  // stderr, sets status (2) and returns null.
  // The scene block read and written is the instance's own: "shader" or
  // "node". A node session writes its matrices as --matrix and --op say,
  // with the object's origin at the world's.
  std::unique_ptr<host::ModuleSession> open_session(const std::string &object_arg,
                                                    std::string &object, int &status);
};

// The mesh a command works on: object (as open_session gave it) loaded, with
// the deformed positions of deformed_path over it when one is named. Prints
// a one-line error headed by command and returns false when there is no
// object or it cannot be read.
bool load_command_mesh(const char *command, const std::string &object,
                       const std::string &deformed_path, host::Mesh &mesh);

}  // namespace korv::tools
