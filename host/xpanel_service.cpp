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

void hint(LWXPanelID panel, std::uint32_t id, LWXPanelHint *hints) {
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

void set_data(LWXPanelID panel, std::uint32_t id, void *data) {
  if (RecordedPanel *p = lookup(panel)) {
    p->set_data.emplace_back(id, data);
  }
}

// A view panel's values are the bound instance's, read through its get
// callback; a form panel keeps its own, which this host does not draw.
void *get_data(LWXPanelID panel, std::uint32_t id) {
  RecordedPanel *p = lookup(panel);
  if (p == nullptr || p->get == nullptr || p->type != LWXP_VIEW) {
    return nullptr;
  }
  return p->get(p->view_instance, id);
}

void *form_get(LWXPanelID /*panel*/, std::uint32_t /*id*/) {
  return nullptr;
}

void form_set(LWXPanelID panel, std::uint32_t id, void *value) {
  if (RecordedPanel *p = lookup(panel)) {
    p->form_set.emplace_back(id, value);
  }
}

void view_refresh(LWXPanelID panel) {
  if (RecordedPanel *p = lookup(panel)) {
    ++p->refreshes;
  }
}

// Without a display the panel is "shown" and closed at once, as if its OK
// button were pressed.
int post(LWXPanelID panel) {
  RecordedPanel *p = lookup(panel);
  if (p == nullptr) {
    return 0;
  }
  ++p->opened;
  return 1;
}

// Nothing is drawn: custom controls get drawing functions that do nothing.
void draw_pixel(LWXPDrAreaID, int, int, int) {}
void draw_rgb_pixel(LWXPDrAreaID, int, int, int, int, int) {}
void draw_line(LWXPDrAreaID, int, int, int, int, int) {}
void draw_box(LWXPDrAreaID, int, int, int, int, int) {}
void draw_rgb_box(LWXPDrAreaID, int, int, int, int, int, int, int) {}
void draw_border(LWXPDrAreaID, int, int, int, int, int) {}
int text_size(LWXPDrAreaID, char *) {
  return 0;
}
void draw_text(LWXPDrAreaID, char *, int, int, int) {}

LWXPDrawFuncs draw_funcs = {draw_pixel,  draw_rgb_pixel, draw_line, draw_box, draw_rgb_box,
                            draw_border, text_size,      text_size, draw_text};

LWXPanelFuncs make_service_record() {
  LWXPanelFuncs r{};
  r.version = 1;
  r.drawf = &draw_funcs;
  r.create = create;
  r.destroy = destroy;
  r.describe = describe;
  r.hint = hint;
  r.getData = get_data;
  r.setData = set_data;
  r.formGet = form_get;
  r.formSet = form_set;
  r.viewInst = view_inst;
  r.viewRefresh = view_refresh;
  r.post = post;
  r.open = post;
  return r;
}

LWXPanelFuncs service_record = make_service_record();

}  // namespace

const LWXPanelDataDesc *RecordedPanel::find_data(const std::string &name) const {
  for (const LWXPanelDataDesc *row = data; row != nullptr && row->vid != 0; ++row) {
    if (row->name != nullptr && name == row->name) {
      return row;
    }
  }
  return nullptr;
}

const LWXPanelDataDesc *RecordedPanel::data_row(std::uint32_t id) const {
  for (const LWXPanelDataDesc *row = data; row != nullptr && row->vid != 0; ++row) {
    if (row->vid == id) {
      return row;
    }
  }
  return nullptr;
}

const LWXPanelControl *RecordedPanel::control_row(std::uint32_t id) const {
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
