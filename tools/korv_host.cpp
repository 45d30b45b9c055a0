// korv-host: the stand-in host's command line.
#include <iostream>
#include <map>
#include <set>
#include <string>

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
  // A word where the command belongs that names none is an error of its own:
  // CLI11 would take it as an extra argument, and with --help after it print
  // the general help as if all were well.
  if (argc > 1 && argv[1][0] != '-') {
    std::set<std::string> known;
    bool found = false;
    for (const auto &[sub, command] : by_app) {
      known.insert(sub->get_name());
      found = found || sub->check_name(argv[1]);
    }
    if (!found) {
      std::string names;
      for (const std::string &name : known) {
        names += (names.empty() ? "" : ", ") + name;
      }
      std::cerr << "korv-host: unknown command '" << argv[1] << "' (commands: " << names << ")\n";
      return korv::tools::kUsageError;
    }
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
