#include "host/panel_view.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string_view>

namespace korv::host {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Containers nest this deep at most before the host takes them to loop.
constexpr int kMaxNesting = 64;

// Where a control's label column ends, counted from the start of the line.
constexpr int kLabelColumnEnd = 32;

std::string_view or_empty(const char *text) {
  return text == nullptr ? std::string_view() : text;
}

std::string number_text(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.10g", value);
  return buffer;
}

std::string id_text(std::uint32_t id) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, id < 0x100 ? "%u" : "0x%X", unsigned(id));
  return buffer;
}

std::string control_class(const RecordedPanel &panel, std::uint32_t id) {
  const LWXPanelControl *row = panel.control_row(id);
  return row == nullptr ? std::string() : std::string(or_empty(row->ctrlclass));
}

const std::vector<std::string> *choices_of(const RecordedPanel &panel, std::uint32_t id) {
  auto it = panel.layout.choices.find(id);
  return it == panel.layout.choices.end() ? nullptr : &it->second;
}

// Whether one link lets its dependents be enabled now.
bool link_allows(const RecordedPanel &panel, const EnableLink &link) {
  const PanelValue value = read_value(panel, link.controller);
  if (value.kind == PanelValue::Kind::None) {
    return false;
  }
  if (link.map == nullptr) {
    return value.non_zero();
  }
  // The map has one entry per state the controller can show; nothing tells
  // the host its length, so it is indexed only within those states.
  const std::string kind = control_class(panel, link.controller);
  std::int64_t index = -1;
  if (kind == "iBoolean") {
    index = value.non_zero() ? 1 : 0;
  } else if (const auto *choices = choices_of(panel, link.controller);
             choices != nullptr && value.kind == PanelValue::Kind::Integer && value.integer >= 0 &&
             static_cast<std::size_t>(value.integer) < choices->size()) {
    index = value.integer;
  }
  return index >= 0 && link.map[index] != 0;
}

class PanelDrawer {
 public:
  explicit PanelDrawer(const RecordedPanel &panel) : panel_(panel) {
    for (const IdList &group : panel.layout.groups) {
      for (std::uint32_t member : group.members) {
        parent_.emplace(member, group.id);
      }
    }
    for (const IdList &tabs : panel.layout.tab_sets) {
      for (std::uint32_t page : tabs.members) {
        parent_.emplace(page, tabs.id);
      }
    }
  }

  std::string draw() {
    out_ += panel_.layout.title.empty() ? "(untitled panel)" : panel_.layout.title;
    out_ += "\n";
    for (const LWXPanelControl *row = panel_.controls; row != nullptr && row->cid != 0; ++row) {
      draw_element(outermost(row->cid), 1);
    }
    if (!panel_.layout.error.empty()) {
      out_ += "hints: " + panel_.layout.error + "\n";
    }
    if (!panel_.layout.not_understood.empty()) {
      out_ += "hints not understood: " + std::to_string(panel_.layout.not_understood.size()) + "\n";
    }
    return out_;
  }

 private:
  std::uint32_t outermost(std::uint32_t id) const {
    for (int depth = 0; depth < kMaxNesting; ++depth) {
      auto it = parent_.find(id);
      if (it == parent_.end()) {
        break;
      }
      id = it->second;
    }
    return id;
  }

  const IdList *tab_set(std::uint32_t id) const {
    const auto &sets = panel_.layout.tab_sets;
    auto it = std::find_if(sets.begin(), sets.end(), [&](const IdList &t) { return t.id == id; });
    return it == sets.end() ? nullptr : &*it;
  }

  std::string label_of(std::uint32_t id) const {
    auto it = panel_.layout.labels.find(id);
    return it == panel_.layout.labels.end() ? id_text(id) : "\"" + it->second + "\"";
  }

  void line(int depth, const std::string &text) {
    out_ += std::string(2 * depth, ' ') + text + "\n";
  }

  void draw_members(const IdList &group, int depth) {
    for (std::uint32_t member : group.members) {
      draw_element(member, depth);
    }
  }

  void draw_element(std::uint32_t id, int depth) {
    if (depth > kMaxNesting || !drawn_.insert(id).second) {
      return;
    }
    if (const IdList *tabs = tab_set(id)) {
      line(depth, "tab set " + label_of(id));
      for (std::uint32_t page : tabs->members) {
        if (!drawn_.insert(page).second) {
          continue;
        }
        line(depth + 1, "page " + label_of(page));
        if (const IdList *contents = panel_.layout.find_group(page)) {
          draw_members(*contents, depth + 2);
        }
      }
    } else if (const IdList *group = panel_.layout.find_group(id)) {
      line(depth, "group " + label_of(id));
      draw_members(*group, depth + 1);
    } else if (const LWXPanelControl *control = panel_.control_row(id)) {
      draw_control(*control, depth);
    } else {
      line(depth, "(no control " + id_text(id) + ")");
    }
  }

  void draw_control(const LWXPanelControl &control, int depth) {
    const LWXPanelDataDesc *data = panel_.data_row(control.cid);
    // The label column narrows with the indent so that the columns after it
    // line up at every depth.
    const int label_width = std::max(8, kLabelColumnEnd - 2 * depth);
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%-*s %-11s %-24s %-9s %s", label_width,
                  std::string(or_empty(control.label)).c_str(),
                  std::string(or_empty(control.ctrlclass)).c_str(),
                  value_text(panel_, control.cid).c_str(),
                  control_enabled(panel_, control.cid) ? "enabled" : "disabled",
                  data == nullptr ? "" : std::string(or_empty(data->name)).c_str());
    std::string text = buffer;
    text.erase(text.find_last_not_of(' ') + 1);
    line(depth, text);
  }

  const RecordedPanel &panel_;
  std::map<std::uint32_t, std::uint32_t> parent_;
  std::set<std::uint32_t> drawn_;
  std::string out_;
};

}  // namespace

bool PanelValue::non_zero() const {
  switch (kind) {
    case Kind::Integer:
      return integer != 0;
    case Kind::Number:
      return number != 0.0;
    case Kind::None:
      break;
  }
  return false;
}

PanelValue read_value(const RecordedPanel &panel, std::uint32_t id) {
  PanelValue value;
  const LWXPanelDataDesc *row = panel.data_row(id);
  if (row == nullptr || panel.get == nullptr) {
    return value;
  }
  const std::string_view type = or_empty(row->datatype);
  const bool is_integer = type == "integer";
  if (!is_integer && type != "float" && type != "angle") {
    return value;
  }
  const void *address = panel.get(panel.view_instance, id);
  if (address == nullptr) {
    return value;
  }
  if (is_integer) {
    value.kind = PanelValue::Kind::Integer;
    value.integer = *static_cast<const std::int32_t *>(address);
  } else {
    value.kind = PanelValue::Kind::Number;
    value.number = *static_cast<const double *>(address);
  }
  return value;
}

bool control_enabled(const RecordedPanel &panel, std::uint32_t id) {
  for (const EnableLink &link : panel.layout.enable_links) {
    const bool names_it =
        std::find(link.dependents.begin(), link.dependents.end(), id) != link.dependents.end();
    if (names_it && !link_allows(panel, link)) {
      return false;
    }
  }
  return true;
}

std::string value_text(const RecordedPanel &panel, std::uint32_t id) {
  const PanelValue value = read_value(panel, id);
  if (value.kind == PanelValue::Kind::None) {
    return "(no value)";
  }
  if (value.kind == PanelValue::Kind::Number) {
    const LWXPanelDataDesc *row = panel.data_row(id);
    if (or_empty(row->datatype) == "angle") {
      return number_text(value.number * 180.0 / kPi) + " deg";
    }
    return number_text(value.number);
  }
  const std::string kind = control_class(panel, id);
  if (kind == "iBoolean") {
    const std::string state = value.integer != 0 ? "on" : "off";
    return value.integer == 0 || value.integer == 1
               ? state
               : state + " (" + std::to_string(value.integer) + ")";
  }
  if (const auto *choices = choices_of(panel, id); choices != nullptr) {
    if (value.integer >= 0 && static_cast<std::size_t>(value.integer) < choices->size()) {
      return "\"" + (*choices)[value.integer] + "\"";
    }
    return "no choice (" + std::to_string(value.integer) + ")";
  }
  return std::to_string(value.integer);
}

std::string draw_panel(const RecordedPanel &panel) {
  return PanelDrawer(panel).draw();
}

}  // namespace korv::host
