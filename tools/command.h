// The korv-host subcommands. Each lives in its own file and registers itself
// with a static Register<...> object, so that adding a command touches no
// other file.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <vector>

namespace korv::tools {

class Command {
 public:
  virtual ~Command() = default;
  // Adds the subcommand and its options to the application.
  virtual CLI::App *add_to(CLI::App &app) = 0;
  // Runs the parsed subcommand; the result is the program's exit status.
  virtual int run() = 0;
};

std::vector<std::unique_ptr<Command>> &registered_commands();

template <class T>
struct Register {
  Register() { registered_commands().push_back(std::make_unique<T>()); }
};

// Exit status for bad arguments and unreadable input.
inline constexpr int kUsageError = 2;

}  // namespace korv::tools
