// One shader instance in the stand-in host: the module loaded through its
// descriptor, the ShaderHandler server activated into records the host owns,
// and one instance created through the module's create callback. Everything
// goes through the module's callbacks, as in a real host.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "host/xpanel_service.h"
#include "hostapi/lwshader.h"
#include "hostapi/lwxpanel.h"

namespace korv::host {

class ShaderSession {
 public:
  // Loads the module (installing the host's services first) and creates one
  // instance. Null with a one-line reason when that fails.
  static std::unique_ptr<ShaderSession> open(const std::string &module_path, std::string &error);

  ShaderSession(const ShaderSession &) = delete;
  ShaderSession &operator=(const ShaderSession &) = delete;
  // Destroys the panel (if any), then the instance, then unloads the module.
  ~ShaderSession();

  const ModuleFile &module() const { return *module_; }
  const LWShaderHandler &handler() const { return handler_; }
  // How the two servers were activated (the interface's only once panel()
  // has been asked for).
  const Activation &handler_activation() const { return handler_activation_; }
  const Activation &interface_activation() const { return interface_activation_; }
  LWInstance instance() const { return instance_; }

  void init() const { handler_.rend->init(instance_, 0); }
  void cleanup() const { handler_.rend->cleanup(instance_); }
  void new_time(int frame, double time) const { handler_.rend->newTime(instance_, frame, time); }
  void evaluate(LWShaderAccess &access) const { handler_.evaluate(instance_, &access); }
  unsigned int flags() const { return handler_.flags(instance_); }

  // Activates the ShaderInterface server for the instance (once) and returns
  // the panel the host recorded, or null when none was built.
  RecordedPanel *panel();

  // Writes a setting by its data name through the panel's set callback, as a
  // host's panel would. Doubles parse as numbers ("angle" ones also as
  // degrees with the suffix "deg"); integers as whole numbers. Returns an
  // empty string, or a one-line error that lists the valid names.
  std::string set_setting(const std::string &name, const std::string &value);

  // Applies NAME=VALUE assignments in order; the first error is returned.
  std::string apply_settings(const std::vector<std::string> &assignments);

  // The data names of the panel, in table order.
  std::vector<std::string> setting_names();

 private:
  ShaderSession() = default;

  std::unique_ptr<ModuleFile> module_;
  LWInstanceFuncs inst_funcs_{};
  LWItemFuncs item_funcs_{};
  LWRenderFuncs render_funcs_{};
  LWShaderHandler handler_{};
  LWInstance instance_ = nullptr;
  LWInterface interface_{};
  bool interface_activated_ = false;
  Activation handler_activation_;
  Activation interface_activation_;
};

// The panel's settings, shared by the shader's and the node's sessions: the
// data names in table order, one NAME=VALUE write through the set callback
// (see ShaderSession::set_setting), and assignments applied in order.
std::vector<std::string> panel_setting_names(RecordedPanel *panel);
std::string set_panel_setting(RecordedPanel *panel, const std::string &name,
                              const std::string &value);
std::string apply_panel_settings(RecordedPanel *panel, const std::vector<std::string> &assignments);

}  // namespace korv::host
