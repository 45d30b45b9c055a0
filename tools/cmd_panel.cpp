// korv-host panel [--node]: the instance's options panel as the host draws
// it, with every control's current value and whether it is enabled; with
// --node, the edge node's.
#include <iostream>

#include "host/panel_view.h"
#include "tools/command.h"
#include "tools/session_options.h"

namespace korv::tools {

namespace {

class PanelCommand : public Command {
 public:
  CLI::App *add_to(CLI::App &app) override {
    CLI::App *sub =
        app.add_subcommand("panel", "print the options panel of an instance as the host draws it");
    options_.add_to(sub, true);
    return sub;
  }

  int run() override {
    std::string object;
    int status = 0;
    auto session = options_.open_session(std::string(), object, status);
    if (!session) {
      return status;
    }
    host::RecordedPanel *panel = session->panel();
    if (panel == nullptr) {
      std::cerr << "korv-host: the module built no options panel\n";
      return 1;
    }
    std::cout << host::draw_panel(*panel);
    return 0;
  }

 private:
  SessionOptions options_;
};

Register<PanelCommand> panel_command;

}  // namespace

}  // namespace korv::tools
