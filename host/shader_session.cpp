#include "host/shader_session.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/host_globals.h"
#include "hostapi/lwmodule.h"

namespace korv::host {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool parse_double(const std::string &text, double &out) {
  if (text.empty()) {
    return false;
  }
  errno = 0;
  char *end = nullptr;
  out = std::strtod(text.c_str(), &end);
  // A panel's number field takes finite numbers only; "nan" and "inf" are
  // refused rather than handed to the module.
  return end == text.c_str() + text.size() && errno != ERANGE && std::isfinite(out);
}

bool parse_int(const std::string &text, std::int32_t &out) {
  if (text.empty()) {
    return false;
  }
  errno = 0;
  char *end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (end != text.c_str() + text.size() || errno == ERANGE || value < INT32_MIN ||
      value > INT32_MAX) {
    return false;
  }
  out = static_cast<std::int32_t>(value);
  return true;
}

}  // namespace

std::unique_ptr<ShaderSession> ShaderSession::open(const std::string &module_path,
                                                   std::string &error) {
  install_default_services();
  std::unique_ptr<ShaderSession> session(new ShaderSession());
  session->module_ = ModuleFile::open(module_path, error);
  if (!session->module_) {
    return nullptr;
  }
  session->handler_.inst = &session->inst_funcs_;
  session->handler_.item = &session->item_funcs_;
  session->handler_.rend = &session->render_funcs_;
  session->handler_activation_ =
      session->module_->activate_as_host(LWSHADER_HCLASS, &session->handler_);
  if (!session->handler_activation_.accepted()) {
    error = module_path + ": ShaderHandler activation failed (" +
            std::to_string(session->handler_activation_.result) + ")";
    return nullptr;
  }
  LWError create_error = nullptr;
  session->instance_ =
      session->inst_funcs_.create(session->inst_funcs_.priv, nullptr, &create_error);
  if (session->instance_ == nullptr) {
    error = module_path + ": the shader instance could not be created";
    return nullptr;
  }
  return session;
}

ShaderSession::~ShaderSession() {
  if (interface_.panel != nullptr) {
    xpanel_service()->destroy(interface_.panel);
  }
  if (instance_ != nullptr) {
    inst_funcs_.destroy(instance_);
  }
}

RecordedPanel *ShaderSession::panel() {
  if (!interface_activated_) {
    interface_activated_ = true;
    interface_.inst = instance_;
    interface_activation_ = module_->activate_as_host(LWSHADER_ICLASS, &interface_);
  }
  return interface_.panel == nullptr ? nullptr : recorded_panel(interface_.panel);
}

std::vector<std::string> ShaderSession::setting_names() {
  return panel_setting_names(panel());
}

std::vector<std::string> panel_setting_names(RecordedPanel *p) {
  std::vector<std::string> names;
  if (p != nullptr) {
    for (const LWXPanelDataDesc *row = p->data; row != nullptr && row->vid != 0; ++row) {
      names.emplace_back(row->name);
    }
  }
  return names;
}

std::string ShaderSession::set_setting(const std::string &name, const std::string &value) {
  return set_panel_setting(panel(), name, value);
}

std::string set_panel_setting(RecordedPanel *p, const std::string &name, const std::string &value) {
  auto setting_names = [p] { return panel_setting_names(p); };
  if (p == nullptr || p->set == nullptr) {
    return "the module built no options panel, so settings cannot be changed";
  }
  auto valid_names = [&] {
    std::string list;
    for (const std::string &n : setting_names()) {
      list += (list.empty() ? "" : ", ") + n;
    }
    return " (valid names: " + list + ")";
  };
  const LWXPanelDataDesc *row = p->find_data(name);
  if (row == nullptr) {
    return "unknown setting '" + name + "'" + valid_names();
  }
  const std::string type = row->datatype != nullptr ? row->datatype : "";
  auto store = [&](auto v) -> std::string {
    if (p->set(p->view_instance, row->vid, &v) == 0) {
      return "the module refused the value of setting '" + name + "'";
    }
    return "";
  };
  if (type == "integer") {
    std::int32_t v = 0;
    if (!parse_int(value, v)) {
      return "setting '" + name + "' takes a whole number, not '" + value + "'" + valid_names();
    }
    return store(v);
  }
  double v = 0.0;
  std::string number = value;
  bool degrees = false;
  if (type == "angle" && number.size() > 3 && number.compare(number.size() - 3, 3, "deg") == 0) {
    number.resize(number.size() - 3);
    degrees = true;
  }
  if (!parse_double(number, v)) {
    return "setting '" + name + "' takes a number" +
           (type == "angle" ? " (radians, or degrees with 'deg')" : "") + ", not '" + value + "'" +
           valid_names();
  }
  if (degrees) {
    v = v * kPi / 180.0;
  }
  return store(v);
}

std::string ShaderSession::apply_settings(const std::vector<std::string> &assignments) {
  return apply_panel_settings(panel(), assignments);
}

std::string apply_panel_settings(RecordedPanel *p, const std::vector<std::string> &assignments) {
  auto setting_names = [p] { return panel_setting_names(p); };
  auto set_setting = [p](const std::string &name, const std::string &value) {
    return set_panel_setting(p, name, value);
  };
  for (const std::string &assignment : assignments) {
    const auto eq = assignment.find('=');
    if (eq == std::string::npos) {
      std::string names;
      for (const std::string &n : setting_names()) {
        names += (names.empty() ? "" : ", ") + n;
      }
      return "--set expects NAME=VALUE, not '" + assignment + "' (valid names: " + names + ")";
    }
    std::string error = set_setting(assignment.substr(0, eq), assignment.substr(eq + 1));
    if (!error.empty()) {
      return error;
    }
  }
  return "";
}

}  // namespace korv::host
