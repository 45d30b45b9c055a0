#include "instance/life_cycle.h"

#include <cstring>

#include "runtime/render_lock.h"

namespace korv {

namespace {

constexpr char kDescription[] = "Brellmoor version 0.40";
constexpr char kNoMemory[] = "Korv_Edge: out of memory";

EdgeInstance *as_instance(LWInstance inst) {
  return static_cast<EdgeInstance *>(inst);
}

}  // namespace

void set_default_settings(EdgeInstance &inst) {
#define KORV_DEFAULT(field, type, kind, value, id, label) inst.field = value;
  KORV_EDGE_SETTINGS(KORV_DEFAULT)
#undef KORV_DEFAULT
}

void write_setting(EdgeInstance &inst, const SettingInfo &info, const void *value,
                   std::size_t size) {
  // The lock keeps a sample from copying the settings half written; a
  // changed value empties the cache, whose databases were built without it.
  RenderLockGuard lock;
  void *field = setting_address(inst, info);
  if (std::memcmp(field, value, size) != 0) {
    std::memcpy(field, value, size);
    empty_edge_cache(inst.cache);
  }
}

void replace_settings(EdgeInstance &inst, const EdgeSettings &settings) {
  RenderLockGuard lock;
  if (!same_settings(inst, settings)) {
    static_cast<EdgeSettings &>(inst) = settings;
    empty_edge_cache(inst.cache);
  }
}

LWInstance instance_create(void * /*priv*/, void *context, LWError * /*error*/) {
  auto *inst = new EdgeInstance;
  if (inst == nullptr) {
    return nullptr;
  }
  set_default_settings(*inst);
  inst->context = context;
  inst->cache = create_edge_cache();
  // Every other callback relies on the cache: an instance without one is
  // not handed to the host at all.
  if (inst->cache == nullptr) {
    delete inst;
    return nullptr;
  }
  return inst;
}

void instance_destroy(LWInstance inst) {
  EdgeInstance *self = as_instance(inst);
  if (self == nullptr) {
    return;
  }
  {
    // Freeing databases is a writer's work: no query may be inside one.
    RenderLockGuard lock;
    destroy_edge_cache(self->cache);
    self->cache = nullptr;
  }
  delete self;
}

LWError instance_copy(LWInstance to, LWInstance from) {
  EdgeInstance *dest = as_instance(to);
  const EdgeInstance *source = as_instance(from);
  // The destination's cache is replaced and its settings rewritten, both of
  // which the query reads: no query may be inside the lock meanwhile.
  RenderLockGuard lock;
  if (dest->cache != nullptr) {
    destroy_edge_cache(dest->cache);
    dest->cache = nullptr;
  }
  if (dest != source) {
    void *const context = dest->context;
    std::memcpy(static_cast<void *>(dest), source, sizeof(EdgeInstance));
    dest->context = context;
  }
  // The cache pointer copied from the source is never used: the destination
  // gets a new, empty cache of its own.
  dest->cache = create_edge_cache();
  return dest->cache == nullptr ? kNoMemory : nullptr;
}

const char *instance_descln(LWInstance inst) {
  EdgeInstance *self = as_instance(inst);
  std::memcpy(self->description, kDescription, sizeof kDescription);
  return self->description;
}

const LWItemID *instance_use_items(LWInstance /*inst*/) {
  return nullptr;
}

void instance_change_id(LWInstance /*inst*/, const LWItemID * /*ids*/) {}

LWError instance_init(LWInstance inst, int /*mode*/) {
  RenderLockGuard lock;
  empty_edge_cache(as_instance(inst)->cache);
  return nullptr;
}

void instance_cleanup(LWInstance inst) {
  RenderLockGuard lock;
  empty_edge_cache(as_instance(inst)->cache);
  release_work_area(as_instance(inst)->cache);
}

LWError instance_new_time(LWInstance inst, LWFrame /*frame*/, LWTime /*time*/) {
  // The host announces a new time only while no evaluation of this instance
  // runs; the lock costs nothing then, and keeps the cache whole should
  // another thread query all the same. Deformed positions move with the
  // time; a failed build may succeed at the new time. The databases agree
  // with the setting: a change of it has emptied the cache.
  EdgeInstance *self = as_instance(inst);
  RenderLockGuard lock;
  if (self->use_deform != 0) {
    empty_edge_cache(self->cache);
  } else {
    forget_failed_builds(self->cache);
  }
  return nullptr;
}

}  // namespace korv
