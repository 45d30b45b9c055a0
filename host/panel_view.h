// The stand-in host's view of a recorded panel: each control's current value,
// read through the module's get callback as its data type says, whether the
// control is enabled, and the panel drawn as text.
#pragma once

#include <cstdint>
#include <string>

#include "host/xpanel_service.h"

namespace korv::host {

// A value read through the get callback: an int for "integer" data, a double
// for "float" and "angle" data (angles in radians). None when the panel has
// no data row for the id, its type is not one of those, or get returned null.
struct PanelValue {
  enum class Kind { None, Integer, Number };
  Kind kind = Kind::None;
  std::int32_t integer = 0;
  double number = 0.0;

  bool non_zero() const;
};

PanelValue read_value(const RecordedPanel &panel, std::uint32_t id);

// Whether a control is enabled: every enable link that names it must allow
// it. A link allows it while the controlling value is non-zero or, with an
// enable map, while the map's entry for that value is non-zero. The map is
// only read within the states its controller can show (off and on for a
// boolean, whose value counts as on when non-zero; the known choices for a
// popup); a value outside them, or one that cannot be read, disables.
bool control_enabled(const RecordedPanel &panel, std::uint32_t id);

// The value as the panel shows it: numbers as they are, angles in degrees,
// booleans as on or off, a popup by its choice text.
std::string value_text(const RecordedPanel &panel, std::uint32_t id);

// The whole panel as the host lays it out: the title, then each control,
// group or tab set in the order of the control table's first member of it,
// groups and pages with their controls in the order their hints list them.
// One control per line: label, kind, value, enabled or disabled, data name.
std::string draw_panel(const RecordedPanel &panel);

}  // namespace korv::host
