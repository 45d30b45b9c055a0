// The per-sample entry of the shader: bevels the normals near the nearest
// edge and writes the edge mask into the chosen channel.
#pragma once

#include "hostapi/lwshader.h"

namespace korv {

// The host calls this once per shading sample, possibly from several render
// threads at once, each with its own record.
void evaluate(LWInstance inst, LWShaderAccess *access);

}  // namespace korv
