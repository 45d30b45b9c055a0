// One shader instance in the stand-in host: the module loaded through its
// descriptor, the ShaderHandler server activated into records the host owns,
// and one instance created through the module's create callback. Everything
// goes through the module's callbacks, as in a real host.
#pragma once

#include <memory>
#include <string>

#include "host/module_session.h"
#include "hostapi/lwshader.h"

namespace korv::host {

class ShaderSession : public ModuleSession {
 public:
  // Loads the module (installing the host's services first) and creates one
  // instance. Null with a one-line reason when that fails.
  static std::unique_ptr<ShaderSession> open(const std::string &module_path, std::string &error);

  const LWShaderHandler &handler() const { return handler_; }

  void new_time(int frame, double time) const { handler_.rend->newTime(instance(), frame, time); }
  void evaluate(LWShaderAccess &access) const { handler_.evaluate(instance(), &access); }
  unsigned int flags() const { return handler_.flags(instance()); }

  const char *front() const override { return "shader"; }
  void shade(LWShaderAccess &access) const override { evaluate(access); }

 private:
  ShaderSession() : ModuleSession(LWSHADER_ICLASS) {}

  LWShaderHandler handler_{&inst_funcs_, &item_funcs_, &render_funcs_, nullptr, nullptr};
};

}  // namespace korv::host
