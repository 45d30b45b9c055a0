#include "host/module_loader.h"

#include <cstring>
#include <filesystem>

#include "host/host_globals.h"
#include "hostapi/layout_checks.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace korv::host {

namespace {

#ifdef _WIN32
void *open_library(const std::string &path, std::string &error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
  }
  return reinterpret_cast<void *>(module);
}
void *find_symbol(void *library, const char *name) {
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void close_library(void *library) {
  FreeLibrary(static_cast<HMODULE>(library));
}
#else
void *open_library(const std::string &path, std::string &error) {
  // A path without a slash would make dlopen search the library path.
  const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
  void *library = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char *reason = dlerror();
    error = "cannot load " + path + ": " + (reason ? reason : "unknown error");
  }
  return library;
}
void *find_symbol(void *library, const char *name) {
  return dlsym(library, name);
}
void close_library(void *library) {
  dlclose(library);
}
#endif

}  // namespace

std::unique_ptr<ModuleFile> ModuleFile::open(const std::string &path, std::string &error) {
  std::unique_ptr<ModuleFile> module(new ModuleFile());
  module->path_ = path;
  module->library_ = open_library(path, error);
  if (module->library_ == nullptr) {
    return nullptr;
  }
  module->descriptor_ =
      static_cast<ModuleDescriptor *>(find_symbol(module->library_, "_mod_descrip"));
  if (module->descriptor_ == nullptr) {
    error = path + ": no _mod_descrip export";
    return nullptr;
  }
  if (module->descriptor_->sysSync != MOD_SYSSYNC) {
    error = path + ": wrong synchronisation word in _mod_descrip";
    module->descriptor_ = nullptr;
    return nullptr;
  }
  // A start-up function that returns null has failed: the host does not use
  // the module.
  if (module->descriptor_->startup != nullptr) {
    module->startup_result_ = module->descriptor_->startup();
    if (module->startup_result_ == nullptr) {
      error = path + ": the module's start-up function failed";
      module->descriptor_ = nullptr;
      return nullptr;
    }
  }
  return module;
}

ModuleFile::~ModuleFile() {
  if (descriptor_ != nullptr && descriptor_->shutdown != nullptr) {
    descriptor_->shutdown(startup_result_);
  }
  if (library_ != nullptr) {
    close_library(library_);
  }
}

const ServerRecord *ModuleFile::find_server(const std::string &class_name) const {
  for (const ServerRecord *server = descriptor_->serverDefs;
       server != nullptr && server->className != nullptr; ++server) {
    if (class_name == server->className) {
      return server;
    }
  }
  return nullptr;
}

int ModuleFile::activate(const std::string &class_name, int version, void *local) const {
  const ServerRecord *server = find_server(class_name);
  if (server == nullptr || server->activate == nullptr) {
    return -1;
  }
  return server->activate(version, host_global, local, nullptr);
}

Activation ModuleFile::activate_as_host(const std::string &class_name, void *local,
                                        int highest) const {
  const std::string suffix = "Interface";
  const bool counts_up =
      class_name.size() >= suffix.size() &&
      class_name.compare(class_name.size() - suffix.size(), suffix.size(), suffix) == 0;
  Activation activation;
  for (int step = 0; step < highest; ++step) {
    const int version = counts_up ? step + 1 : highest - step;
    activation.version = version;
    activation.result = activate(class_name, version, local);
    if (activation.result != AFUNC_BADVERSION) {
      break;
    }
    activation.refused.push_back(version);
  }
  return activation;
}

std::string default_module_path(const char *file_name) {
#ifdef _WIN32
  char buffer[MAX_PATH];
  DWORD size = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  std::filesystem::path self(std::string(buffer, size));
#else
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
#endif
  // In a build tree the module lies beside the program; installed, the
  // program is in bin/ and the module in the folder the build names.
  const std::filesystem::path beside = self.parent_path() / file_name;
#ifdef KORV_MODULE_FROM_BIN
  const std::filesystem::path installed = self.parent_path() / KORV_MODULE_FROM_BIN / file_name;
  std::error_code ignored;
  if (!std::filesystem::exists(beside, ignored) && std::filesystem::exists(installed, ignored)) {
    return installed.lexically_normal().string();
  }
#endif
  return beside.string();
}

}  // namespace korv::host
