// Options shared by every korv-host command that makes a shader instance, and
// the opening of that instance.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

#include "host/shader_session.h"

namespace korv::tools {

struct SessionOptions {
  std::string module_path;               // --module, default: beside korv-host
  std::vector<std::string> assignments;  // --set NAME=VALUE, in order

  // Adds --module and --set to a subcommand.
  void add_to(CLI::App *sub);

  // Loads the module, creates the instance and applies the settings.
  // object_arg is the object (a mesh path or "builtin:NAME") the command line
  // named, or empty; object receives the object to use (empty when none was
  // named anywhere). On failure prints a one-line error to stderr, sets
  // status (2) and returns null.
  std::unique_ptr<host::ShaderSession> open_session(const std::string &object_arg,
                                                    std::string &object, int &status);
};

}  // namespace korv::tools
