#include "tools/session_options.h"

#include <iostream>

#include "host/module_loader.h"
#include "tools/command.h"

namespace korv::tools {

void SessionOptions::add_to(CLI::App *sub) {
  sub->add_option("--module", module_path, "the module file (default: Korv_Edge.p beside korv-host)");
  sub->add_option("--set", assignments,
                  "NAME=VALUE: a setting by its name; angles in radians, or degrees with 'deg'")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

std::unique_ptr<host::ShaderSession> SessionOptions::open_session(const std::string &object_arg,
                                                                  std::string &object,
                                                                  int &status) {
  object = object_arg;
  const std::string path = module_path.empty() ? host::default_module_path() : module_path;
  std::string error;
  auto session = host::ShaderSession::open(path, error);
  if (!session) {
    std::cerr << "korv-host: " << error << "\n";
    status = kUsageError;
    return nullptr;
  }
  error = session->apply_settings(assignments);
  if (!error.empty()) {
    std::cerr << "korv-host: " << error << "\n";
    status = kUsageError;
    return nullptr;
  }
  return session;
}

}  // namespace korv::tools
