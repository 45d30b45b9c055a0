// What the shader hands the edge core: its instance as the query reads it,
// and a sample's place and normals from the host's shading record.
#pragma once

#include "hostapi/lwshader.h"
#include "instance/edge_instance.h"
#include "shader/build_options.h"
#include "shading/evaluate.h"

namespace korv {

inline EdgeSource edge_source(EdgeInstance &inst) {
  return {&inst, &inst.cache, &edge_build_options};
}

inline EdgeSpot spot_of(const LWShaderAccess &access) {
  return {access.objID, access.polygon, to_vec3(access.oPos)};
}

inline ShadingSample sample_of(const LWShaderAccess &access) {
  return {spot_of(access), access.wNorm, access.wNorm0,
          to_vec3(access.raySource) - to_vec3(access.wPos), access.wXfrm};
}

}  // namespace korv
