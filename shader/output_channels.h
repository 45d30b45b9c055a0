// The surface channels that the out_channel setting chooses between. For each
// value, the shader flag that declares the field to the host and the field of
// the shading record that the evaluation writes the edge mask into. The flags
// callback and the evaluation both read this one table, so the channel
// declared and the channel written cannot disagree.
#pragma once

#include <cmath>
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

// How the mask meets the value already in the channel, by the out_mode
// setting's stored value; the position is also the panel's choice.
enum class OutputMode : std::int32_t { Replace = 0, Multiply = 1, MultiplyInverse = 2 };
inline constexpr std::size_t kOutputModeCount = 3;

// The setting as the evaluation reads it. A value that is none of the
// choices (a damaged scene, a newer writer) replaces, as the shader always
// did before there was a choice.
constexpr OutputMode output_mode(std::int32_t out_mode) {
  return out_mode == 1   ? OutputMode::Multiply
         : out_mode == 2 ? OutputMode::MultiplyInverse
                         : OutputMode::Replace;
}

// Writes the edge mask into a channel that holds what the host (its texture
// layers, an earlier shader) put there. Replacing stores the mask as it is.
// A product is stored only when it is finite: a host value that is not
// finite stays as the host gave it (what it means is the host's business),
// and the module never stores a value it could not compute.
inline void write_channel(double &channel, double mask, std::int32_t out_mode) {
  double product = 0.0;
  switch (output_mode(out_mode)) {
    case OutputMode::Replace:
      channel = mask;
      return;
    case OutputMode::Multiply:
      product = channel * mask;
      break;
    case OutputMode::MultiplyInverse:
      product = channel * (1.0 - mask);
      break;
  }
  if (std::isfinite(product)) {
    channel = product;
  }
}

// Where the shader finds no edge for a sample the mask is 0, as the mask
// drawn on its own shows it. A replaced channel keeps the surface's own value
// there, as it always did, and 1 - 0 leaves the inverse's unchanged; only
// multiplying by the mask itself writes, or the surface would keep its full
// value beside faces darkened almost to 0 where the reach of an edge ends.
inline void write_channel_without_edge(double &channel, std::int32_t out_mode) {
  if (output_mode(out_mode) == OutputMode::Multiply) {
    write_channel(channel, 0.0, out_mode);
  }
}

}  // namespace korv
