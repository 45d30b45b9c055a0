#include "host/host_globals.h"

#include <map>
#include <mutex>

#include "host/mesh_service.h"
#include "host/xpanel_service.h"
#include "hostapi/lwmeshes.h"
#include "hostapi/lwxpanel.h"

namespace korv::host {

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, void *> services;
  std::map<std::string, int> lookups;
};

Registry &registry() {
  static Registry instance;
  return instance;
}

}  // namespace

void *host_global(const char *name, int /*use_flags*/) {
  if (name == nullptr) {
    return nullptr;
  }
  Registry &r = registry();
  std::lock_guard lock(r.mutex);
  ++r.lookups[name];
  auto it = r.services.find(name);
  return it == r.services.end() ? nullptr : it->second;
}

void set_global_service(const std::string &name, void *service) {
  Registry &r = registry();
  std::lock_guard lock(r.mutex);
  if (service == nullptr) {
    r.services.erase(name);
  } else {
    r.services[name] = service;
  }
}

int global_lookup_count(const std::string &name) {
  Registry &r = registry();
  std::lock_guard lock(r.mutex);
  auto it = r.lookups.find(name);
  return it == r.lookups.end() ? 0 : it->second;
}

void reset_global_lookup_counts() {
  Registry &r = registry();
  std::lock_guard lock(r.mutex);
  r.lookups.clear();
}

void install_default_services() {
  set_global_service(LWOBJECTINFO_GLOBAL, object_info_service());
  set_global_service(LWXPANELFUNCS_GLOBAL, xpanel_service());
}

}  // namespace korv::host
