#include "host/shader_session.h"

#include "host/host_globals.h"

namespace korv::host {

std::unique_ptr<ShaderSession> ShaderSession::open(const std::string &module_path,
                                                   std::string &error) {
  install_default_services();
  std::unique_ptr<ShaderSession> session(new ShaderSession());
  if (!session->open_module(module_path, LWSHADER_HCLASS, &session->handler_, kHostClassVersion,
                            nullptr, error)) {
    return nullptr;
  }
  return session;
}

}  // namespace korv::host
