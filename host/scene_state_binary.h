// The compact binary form of an instance's scene state: a sequence of items,
// each a tag byte followed by big-endian fields:
//
//   1 block  id U4, length U4 (bytes of what follows), the block's items
//   2 U1     count U4, count bytes
//   3 I4     count U4, count values of 4 bytes
//   4 U4     count U4, count values of 4 bytes
//   5 FP     count U4, count IEEE single values of 4 bytes
//   6 text   length U4, length bytes (no terminator)
//
// A block keeps its id, not its token.
#pragma once

#include <span>
#include <vector>

#include "host/scene_state.h"

namespace korv::host {

std::vector<unsigned char> encode_state_binary(const StateItems &items);

// Reads the binary form. Damage never stops it: what precedes the damage is
// kept (the whole values of a cut run, the items of a cut block), the rest is
// dropped and noted in report. Blocks deeper than kMaxStateDepth are dropped
// with what follows them. Never allocates more than the input could hold.
StateItems decode_state_binary(std::span<const unsigned char> data, ParseReport &report);

}  // namespace korv::host
