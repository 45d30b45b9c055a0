// The shader's edge build options, derived from its settings in this one
// place: its own builds and every tool or test that wants the database the
// shader would build go through it.
#pragma once

#include "edges/build_options.h"

namespace korv {

// The shader shows the edge mask when an output channel is chosen.
EdgeBuildOptions edge_build_options(const EdgeSettings &settings);

}  // namespace korv
