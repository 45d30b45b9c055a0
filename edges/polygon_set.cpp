#include "edges/polygon_set.h"

#include <algorithm>
#include <bit>

namespace korv {

bool PolygonSet::assign(const std::uintptr_t *first, const std::uintptr_t *last) {
  filled_ = true;
  grid_ = true;
  places_ = 0;
  shift_ = 0;
  bits_.reset();
  slots_.reset();
  std::size_t count = 0;
  std::uintptr_t lowest = 0;
  std::uintptr_t highest = 0;
  // The lowest bit in which any handle differs from the first is the
  // lowest in which any differs from the lowest: the grid's spacing.
  std::uintptr_t reference = 0;
  std::uintptr_t spread = 0;
  for (const std::uintptr_t *key = first; key != last; ++key) {
    if (*key != 0) {
      reference = count == 0 ? *key : reference;
      lowest = count == 0 ? *key : std::min(lowest, *key);
      highest = std::max(highest, *key);
      spread |= *key ^ reference;
      ++count;
    }
  }
  if (count == 0) {
    return true;
  }
  // The grid's places are worth a bit each while there are no more than 64
  // a handle (8 bytes, the size of a hash slot).
  shift_ = spread == 0 ? 0 : std::countr_zero(spread);
  lowest_ = lowest;
  const std::uintptr_t last_place = (highest - lowest) >> shift_;
  if (last_place / 64 < count) {
    places_ = last_place + 1;
    if (!bits_.assign(std::size_t(last_place / 64 + 1), 0)) {
      places_ = 0;
      return false;
    }
    for (const std::uintptr_t *key = first; key != last; ++key) {
      if (*key != 0) {
        const std::uintptr_t place = (*key - lowest) >> shift_;
        bits_[place / 64] |= std::uint64_t(1) << (place % 64);
      }
    }
    return true;
  }
  grid_ = false;
  std::size_t slots = 16;
  while (slots / 4 * 3 < count) {
    slots *= 2;
  }
  if (!slots_.assign(slots, 0)) {
    grid_ = true;  // of no places: listing nothing
    return false;
  }
  hash_shift_ = 64 - std::countr_zero(slots);
  for (const std::uintptr_t *key = first; key != last; ++key) {
    if (*key == 0) {
      continue;
    }
    std::size_t i = home(*key);
    while (slots_[i] != 0 && slots_[i] != *key) {
      i = (i + 1) & (slots - 1);
    }
    slots_[i] = *key;
  }
  return true;
}

}  // namespace korv
