// Loads a module file as a host does: opens the library, finds its exported
// descriptor, checks the synchronisation word, calls its start-up function
// and activates its servers by class name.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hostapi/lwmodule.h"

namespace korv::host {

// The highest class version this host offers, as a host of a later release
// than the module's would.
inline constexpr int kHostClassVersion = 6;

// How a server class was activated: the versions tried in order and the
// outcome.
struct Activation {
  int result = -1;           // the last activation's result (AFUNC_OK when one was accepted)
  int version = 0;           // the version accepted, or the last one tried
  std::vector<int> refused;  // versions answered with AFUNC_BADVERSION, in the order tried
  bool accepted() const { return result == AFUNC_OK; }
};

class ModuleFile {
 public:
  // Null with a one-line reason in error when the file cannot be used.
  static std::unique_ptr<ModuleFile> open(const std::string &path, std::string &error);

  ModuleFile(const ModuleFile &) = delete;
  ModuleFile &operator=(const ModuleFile &) = delete;
  // Calls the shut-down function with the start-up result, then unloads.
  ~ModuleFile();

  const std::string &path() const { return path_; }
  const ModuleDescriptor &descriptor() const { return *descriptor_; }
  void *startup_result() const { return startup_result_; }

  // The server of that class, or null.
  const ServerRecord *find_server(const std::string &class_name) const;

  // Activates the server of that class with the host's global function.
  // Returns the activation's result, or -1 when the module has no such server.
  int activate(const std::string &class_name, int version, void *local) const;

  // Activates the server as a host does: a handler class from the highest
  // version the host offers downwards, an interface class (one whose name ends
  // in "Interface") from version 1 upwards, each time with the same record,
  // until one is accepted. Only a refused version (AFUNC_BADVERSION) moves on
  // to the next; any other failure ends the search.
  Activation activate_as_host(const std::string &class_name, void *local,
                              int highest = kHostClassVersion) const;

 private:
  ModuleFile() = default;

  std::string path_;
  void *library_ = nullptr;
  ModuleDescriptor *descriptor_ = nullptr;
  void *startup_result_ = nullptr;
};

// The module file beside the running program (build/Korv_Edge.p for tools
// and tests built in build/); when there is none there but there is one
// where an installed program finds it (bin/../lib/korv_edge/), that one.
// file_name names another module file of the build (Korv_EdgeNode.p).
std::string default_module_path(const char *file_name = "Korv_Edge.p");

}  // namespace korv::host
