#include "host/xpanel_service.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

namespace korv::host {

namespace {

std::mutex panels_mutex;
std::map<LWXPanelID, std::unique_ptr<RecordedPanel>> &panels() {
  static std::map<LWXPanelID, std::unique_ptr<RecordedPanel>> all;
  return all;
}
std::atomic<bool> refuse_create{false};

RecordedPanel *lookup(LWXPanelID panel) {
  std::lock_guard lock(panels_mutex);
  auto it = panels().find(panel);
  return it == panels().end() ? nullptr : it->second.get();
}

LWXPanelID create(int type, LWXPanelControl *controls) {
  if (refuse_create) {
    return nullptr;
  }
  auto panel = std::make_unique<RecordedPanel>();
  panel->type = type;
  panel->controls = controls;
  auto id = reinterpret_cast<LWXPanelID>(panel.get());
  std::lock_guard lock(panels_mutex);
  panels().emplace(id, std::move(panel));
  return id;
}

void destroy(LWXPanelID panel) {
  std::lock_guard lock(panels_mutex);
  panels().erase(panel);
}

void describe(LWXPanelID panel, LWXPanelDataDesc *data, LWXPanelGetFunc *get,
              LWXPanelSetFunc *set) {
  if (RecordedPanel *p = lookup(panel)) {
    p->data = data;
    p->get = get;
    p->set = set;
  }
}

void hint(LWXPanelID panel, unsigned long id, LWXPanelHint *hints) {
  if (RecordedPanel *p = lookup(panel)) {
    p->hints.emplace_back(id, hints);
    apply_hints(p->layout, id, hints);
  }
}

void view_inst(LWXPanelID panel, void *inst) {
  if (RecordedPanel *p = lookup(panel)) {
    p->view_instance = inst;
  }
}

void set_data(LWXPanelID panel, unsigned long id, void *data) {
  if (RecordedPanel *p = lookup(panel)) {
    p->set_data.emplace_back(id, data);
  }
}

LWXPanelFuncs service_record = {1, create, destroy, describe, hint, view_inst, set_data};

}  // namespace

const LWXPanelDataDesc *RecordedPanel::find_data(const std::string &name) const {
  for (const LWXPanelDataDesc *row = data; row != nullptr && row->vid != 0; ++row) {
    if (row->name != nullptr && name == row->name) {
      return row;
    }
  }
  return nullptr;
}

const LWXPanelDataDesc *RecordedPanel::data_row(unsigned long id) const {
  for (const LWXPanelDataDesc *row = data; row != nullptr && row->vid != 0; ++row) {
    if (row->vid == id) {
      return row;
    }
  }
  return nullptr;
}

const LWXPanelControl *RecordedPanel::control_row(unsigned long id) const {
  for (const LWXPanelControl *row = controls; row != nullptr && row->cid != 0; ++row) {
    if (row->cid == id) {
      return row;
    }
  }
  return nullptr;
}

LWXPanelFuncs *xpanel_service() {
  return &service_record;
}

RecordedPanel *recorded_panel(LWXPanelID panel) {
  return lookup(panel);
}

void set_xpanel_refuse_create(bool refuse) {
  refuse_create = refuse;
}

std::size_t live_panel_count() {
  std::lock_guard lock(panels_mutex);
  return panels().size();
}

}  // namespace korv::host
