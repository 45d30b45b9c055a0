// The text form of an instance's scene state, one value per line, blocks
// opened by their token and closed explicitly, nested by indentation:
//
//   I4 256
//   { PluginDataLib
//     I4 10
//     { PluginDataParam
//       "edge_width"
//       U4 0x5044424C
//       U1 3F 94 7A E1 47 AE 14 7B
//     }
//     ...
//   }
//
// Lines: "{ TOKEN" opens a block ("{ #50444C42" one known only by its id);
// "}" closes it; a quoted line is a text (escapes \" \\ \n \t \xHH); "I4 n"
// and "U4 n" (decimal or 0x hex) are 32-bit integers; "FP x" a float (shortest
// form that reads back the same; NaN payloads are not kept); "U1 hh hh ..."
// bytes in hex, at most 32 to a line. Indentation and blank lines are free.
#pragma once

#include <string>
#include <string_view>

#include "host/scene_state.h"

namespace korv::host {

// The text of items, each line indented by two spaces per level starting at
// indent and ended by '\n'.
std::string format_state_text(const StateItems &items, int indent = 0);

// Reads the text form. Damage never stops it: a line it cannot read is
// skipped, a stray "}" ignored, blocks left open are closed at the end, and
// each is noted in report with its line number (the first line of text is
// first_line).
StateItems parse_state_text(std::string_view text, ParseReport &report, int first_line = 1);

}  // namespace korv::host
