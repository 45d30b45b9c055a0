// The stand-in host's XPanel service. It records what a module declares for
// each panel (controls, hints, data descriptions with their callbacks, the
// bound instance) so that the host can draw the panel and edit its values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/panel_hints.h"
#include "hostapi/lwxpanel.h"

namespace korv::host {

struct RecordedPanel {
  int type = 0;
  const LWXPanelControl *controls = nullptr;
  std::vector<std::pair<std::uint32_t, const LWXPanelHint *>> hints;  // (id, hint array)
  PanelHints layout;  // what the hints say, read as each array arrives
  const LWXPanelDataDesc *data = nullptr;
  LWXPanelGetFunc *get = nullptr;
  LWXPanelSetFunc *set = nullptr;
  void *view_instance = nullptr;
  std::vector<std::pair<std::uint32_t, void *>> set_data;  // setData calls (id, data)
  std::vector<std::pair<std::uint32_t, void *>> form_set;  // formSet calls (id, value)
  int refreshes = 0;                                       // viewRefresh calls
  int opened = 0;                                          // post and open calls

  // The data row with that name, or null.
  const LWXPanelDataDesc *find_data(const std::string &name) const;
  // The control or data row with that id, or null.
  const LWXPanelControl *control_row(std::uint32_t id) const;
  const LWXPanelDataDesc *data_row(std::uint32_t id) const;
};

// The process-wide service record, answered for "LWXPanel".
LWXPanelFuncs *xpanel_service();

// The record of a panel this service created, or null.
RecordedPanel *recorded_panel(LWXPanelID panel);

// Tells the service to refuse (return null from) every create call.
void set_xpanel_refuse_create(bool refuse);

// Panels created and not yet destroyed.
std::size_t live_panel_count();

}  // namespace korv::host
