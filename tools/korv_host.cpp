// korv-host: the stand-in host's command line.
#include <iostream>
#include <map>

#include "tools/command.h"
#include "tools/version.h"

namespace korv::tools {

std::vector<std::unique_ptr<Command>> &registered_commands() {
  static std::vector<std::unique_ptr<Command>> commands;
  return commands;
}

}  // namespace korv::tools

int main(int argc, char **argv) {
  CLI::App app{"korv-host: loads the Korv_Edge module as a host does and drives it"};
  app.set_version_flag("--version", "korv-host " KORV_EDGE_VERSION, "print the version and exit");
  app.require_subcommand(1);
  std::map<CLI::App *, korv::tools::Command *> by_app;
  for (auto &command : korv::tools::registered_commands()) {
    by_app[command->add_to(app)] = command.get();
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    if (e.get_exit_code() == 0) {
      return app.exit(e);  // --help, --version
    }
    // A bad argument is one line on stderr, like every other error.
    std::cerr << "korv-host: " << e.what() << "\n";
    return korv::tools::kUsageError;
  }
  for (CLI::App *sub : app.get_subcommands()) {
    return by_app.at(sub)->run();
  }
  return korv::tools::kUsageError;
}
