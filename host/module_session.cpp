#include "host/module_session.h"

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

std::string joined(const std::vector<std::string> &names) {
  std::string list;
  for (const std::string &n : names) {
    list += (list.empty() ? "" : ", ") + n;
  }
  return list;
}

// The values a control offers for an integer setting: "0 or 1" for a check
// box, "0 to N-1 (0: first, ...)" for a popup of N choices; empty (any
// value) for another control. Sets top to the highest value offered.
std::string offered_values(const RecordedPanel &panel, std::uint32_t id, std::int32_t &top) {
  const LWXPanelControl *control = panel.control_row(id);
  const std::string kind =
      control != nullptr && control->ctrlclass != nullptr ? control->ctrlclass : "";
  if (kind == "iBoolean") {
    top = 1;
    return "0 or 1";
  }
  const auto choices = panel.layout.choices.find(id);
  if (kind != "iPopChoice" || choices == panel.layout.choices.end() || choices->second.empty()) {
    return "";
  }
  top = static_cast<std::int32_t>(choices->second.size() - 1);
  std::string listed;
  for (std::size_t i = 0; i < choices->second.size(); ++i) {
    listed += (i == 0 ? "" : ", ") + std::to_string(i) + ": " + choices->second[i];
  }
  return "0 to " + std::to_string(top) + " (" + listed + ")";
}

}  // namespace

bool ModuleSession::open_module(const std::string &module_path, const char *handler_class,
                                void *handler, int highest, void *context, std::string &error) {
  module_ = ModuleFile::open(module_path, error);
  if (!module_) {
    return false;
  }
  handler_activation_ = module_->activate_as_host(handler_class, handler, highest);
  if (!handler_activation_.accepted()) {
    error = module_path + ": " + handler_class + " activation failed (" +
            std::to_string(handler_activation_.result) + ")";
    return false;
  }
  LWError create_error = nullptr;
  instance_ = inst_funcs_.create(inst_funcs_.priv, context, &create_error);
  if (instance_ == nullptr) {
    error = module_path + ": the " + front() + " instance could not be created";
    return false;
  }
  return true;
}

ModuleSession::~ModuleSession() {
  if (interface_.panel != nullptr) {
    xpanel_service()->destroy(interface_.panel);
  }
  if (instance_ != nullptr) {
    inst_funcs_.destroy(instance_);
  }
}

RecordedPanel *ModuleSession::panel() {
  if (!interface_activated_) {
    interface_activated_ = true;
    interface_.inst = instance_;
    interface_activation_ = module_->activate_as_host(interface_class_, &interface_);
  }
  return interface_.panel == nullptr ? nullptr : recorded_panel(interface_.panel);
}

std::vector<std::string> ModuleSession::setting_names() {
  std::vector<std::string> names;
  const RecordedPanel *p = panel();
  if (p != nullptr) {
    for (const LWXPanelDataDesc *row = p->data; row != nullptr && row->vid != 0; ++row) {
      names.emplace_back(row->name);
    }
  }
  return names;
}

std::string ModuleSession::set_setting(const std::string &name, const std::string &value,
                                       bool within_panel) {
  RecordedPanel *p = panel();
  if (p == nullptr || p->set == nullptr) {
    return "the module built no options panel, so settings cannot be changed";
  }
  auto valid_names = [this] { return " (valid names: " + joined(setting_names()) + ")"; };
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
    std::int32_t top = 0;
    const std::string offered = offered_values(*p, row->vid, top);
    if (within_panel && !offered.empty() && (v < 0 || v > top)) {
      return "setting '" + name + "' takes " + offered + ", not '" + value + "'";
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
  // Degrees beyond the largest double's worth of radians come out infinite.
  if (!std::isfinite(v)) {
    return "setting '" + name + "' takes a finite number, and '" + value + "' is none";
  }
  return store(v);
}

std::string ModuleSession::apply_settings(const std::vector<std::string> &assignments,
                                          bool within_panel) {
  for (const std::string &assignment : assignments) {
    const auto eq = assignment.find('=');
    if (eq == std::string::npos) {
      return "--set expects NAME=VALUE, not '" + assignment +
             "' (valid names: " + joined(setting_names()) + ")";
    }
    std::string error =
        set_setting(assignment.substr(0, eq), assignment.substr(eq + 1), within_panel);
    if (!error.empty()) {
      return error;
    }
  }
  return "";
}

double *channel_field(LWShaderAccess &access, int channel) {
  switch (channel) {
    case 1:
      return &access.luminous;
    case 2:
      return &access.diffuse;
    case 3:
      return &access.specular;
    case 4:
      return &access.mirror;
    case 5:
      return &access.transparency;
    case 6:
      return &access.translucency;
    case 7:
      return &access.bumpHeight;
    default:
      return nullptr;
  }
}

}  // namespace korv::host
