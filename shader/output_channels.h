// The surface channels that the out_channel setting chooses between. For each
// value, the shader flag that declares the field to the host and the field of
// the shading record that the evaluation writes the edge mask into. The flags
// callback and the evaluation both read this one table, so the channel
// declared and the channel written cannot disagree.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostapi/lwshader.h"

namespace korv {

struct OutputChannel {
  unsigned int flag;              // the shader flag declaring the field, 0 for none
  double LWShaderAccess::*field;  // the field written, null for none
};

// Indexed by out_channel; the position is also the panel's choice. The host
// has no flag for the bump input: it is written all the same.
inline constexpr OutputChannel kOutputChannels[] = {
    {0, nullptr},                                        // "None"
    {LWSHF_LUMINOUS, &LWShaderAccess::luminous},         // "Luminosity"
    {LWSHF_DIFFUSE, &LWShaderAccess::diffuse},           // "Diffuse"
    {LWSHF_SPECULAR, &LWShaderAccess::specular},         // "Specularity"
    {LWSHF_MIRROR, &LWShaderAccess::mirror},             // "Reflection"
    {LWSHF_TRANSP, &LWShaderAccess::transparency},       // "Transparency"
    {LWSHF_TRANSLUCENT, &LWShaderAccess::translucency},  // "Translucency"
    {0, &LWShaderAccess::bumpHeight},                    // "Gradient bump input"
};

inline constexpr std::size_t kOutputChannelCount =
    sizeof kOutputChannels / sizeof kOutputChannels[0];

// The entry for an out_channel value; any value outside the table declares
// and writes nothing.
constexpr OutputChannel output_channel(std::int32_t out_channel) {
  if (out_channel < 0 || std::size_t(out_channel) >= kOutputChannelCount) {
    return {0, nullptr};
  }
  return kOutputChannels[out_channel];
}

}  // namespace korv
