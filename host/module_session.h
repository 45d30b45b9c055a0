// One instance of a loaded module's handler in the stand-in host, whichever
// front the module offers: the module loaded through its descriptor, its
// handler server activated into records the host owns, one instance created
// through the module's create callback and, once asked for, its options
// panel through the interface server. Everything goes through the module's
// callbacks, as in a real host.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "host/xpanel_service.h"
#include "hostapi/lwshader.h"

namespace korv::host {

class ModuleSession {
 public:
  ModuleSession(const ModuleSession &) = delete;
  ModuleSession &operator=(const ModuleSession &) = delete;
  // Destroys the panel (if any), then the instance, then unloads the module.
  virtual ~ModuleSession();

  const ModuleFile &module() const { return *module_; }
  // How the two servers were activated (the interface's only once panel()
  // has been asked for).
  const Activation &handler_activation() const { return handler_activation_; }
  const Activation &interface_activation() const { return interface_activation_; }
  LWInstance instance() const { return instance_; }
  // The instance callbacks the handler's activation filled in.
  const LWInstanceFuncs &instance_funcs() const { return inst_funcs_; }

  void init() const { render_funcs_.init(instance_, 0); }
  void cleanup() const { render_funcs_.cleanup(instance_); }

  // Which front the module offers: "shader" or "node", the word of its
  // block in a scene file.
  virtual const char *front() const = 0;

  // One sample of a surface that uses the instance, as a renderer fills the
  // shading record; what the module gives comes back in the record. From
  // several render threads at once, between init and cleanup.
  virtual void shade(LWShaderAccess &access) const = 0;

  // Activates the interface server for the instance (once) and returns the
  // panel the host recorded, or null when none was built.
  RecordedPanel *panel();

  // Writes a setting by its data name through the panel's set callback, as a
  // host's panel would. Doubles parse as finite numbers ("angle" ones also as
  // degrees with the suffix "deg"); integers as whole numbers, within_panel
  // only those the control offers (0 or 1 for a check box, a popup's
  // choices), as a panel lets a user pick no other. A value a scene stored
  // is put back with within_panel false. Returns an empty string, or a
  // one-line error that lists the valid names or values.
  std::string set_setting(const std::string &name, const std::string &value,
                          bool within_panel = true);

  // Applies NAME=VALUE assignments in order, as set_setting does; the first
  // error is returned.
  std::string apply_settings(const std::vector<std::string> &assignments, bool within_panel = true);

  // The data names of the panel, in table order.
  std::vector<std::string> setting_names();

 protected:
  explicit ModuleSession(const char *interface_class) : interface_class_(interface_class) {}

  // Loads the module, activates handler_class into handler (a record whose
  // inst, item and rend point at this session's records) from the version
  // highest down, and creates the instance with context. False with a
  // one-line reason.
  bool open_module(const std::string &module_path, const char *handler_class, void *handler,
                   int highest, void *context, std::string &error);

  LWInstanceFuncs inst_funcs_{};
  LWItemFuncs item_funcs_{};
  LWRenderFuncs render_funcs_{};

 private:
  const char *interface_class_;
  std::unique_ptr<ModuleFile> module_;
  LWInstance instance_ = nullptr;
  LWInterface interface_{};
  bool interface_activated_ = false;
  Activation handler_activation_;
  Activation interface_activation_;
};

// The field of the record that an out_channel value names (1 luminous ...
// 7 bumpHeight), or null for any other value.
double *channel_field(LWShaderAccess &access, int channel);

}  // namespace korv::host
