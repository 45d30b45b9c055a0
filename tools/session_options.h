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

  // Loads the module, creates the instance and applies the settings. On
  // failure prints a one-line error to stderr, sets status (2) and returns null.
  std::unique_ptr<host::ShaderSession> open_session(int &status);
};

}  // namespace korv::tools
