// The per-sample entry of the shader: bevels the normals near the nearest
// edge and writes the edge mask into the chosen channel.
#pragma once

#include "hostapi/lwshader.h"

namespace korv {

// The host calls this once per shading sample, possibly from several render
// threads at once, each with its own record, and possibly while the panel or
// a load writes the settings: the sample works from one copy of them, taken
// by its query under the render lock. It writes only finite values, and
// normals only with a direction; a sample it cannot treat stays as received.
void evaluate(LWInstance inst, LWShaderAccess *access);

}  // namespace korv
