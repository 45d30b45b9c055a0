// The polygons an edge build's scan listed, for a front whose host does not
// promise that a sample's polygon belongs to the sample's object (the node's:
// the published node interface leaves it open). The query hands the host's
// mesh calls no polygon the set does not list, since a host reads whatever
// it is given as one of that mesh's polygons.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hostapi/lwmeshes.h"
#include "runtime/checked_memory.h"

namespace korv {

// A set never filled (a database built without the list, or made by hand)
// lists every polygon; a filled one lists exactly the polygons it was given,
// and never a null one.
//
// Hosts commonly number their polygons or lay them out in arrays, so the
// handles mostly lie on a grid of few empty places (as the point map finds
// for points): the set is then one bit per place of the grid, a fraction of
// a byte per polygon, and a look-up is arithmetic and one bit. Handles
// spread more thinly go into an open-addressed hash, probed linearly and at
// most three quarters full.
class PolygonSet {
 public:
  // Lists exactly the non-null handles of [first, last) (any order, repeats
  // allowed) in place of what the set listed; false when memory runs out,
  // the set then listing nothing.
  [[nodiscard]] bool assign(const std::uintptr_t *first, const std::uintptr_t *last);

  // Inline: the node's query asks once per sample.
  bool lists(LWPolID polygon) const {
    if (!filled_) {
      return true;
    }
    const auto key = reinterpret_cast<std::uintptr_t>(polygon);
    if (grid_) {
      const std::uintptr_t offset = key - lowest_;
      const std::uintptr_t place = offset >> shift_;
      return key >= lowest_ && (offset & ((std::uintptr_t(1) << shift_) - 1)) == 0 &&
             place < places_ && ((bits_[place / 64] >> (place % 64)) & 1) != 0;
    }
    // The probe ends at an empty slot, of which the table always has one.
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = home(key);; i = (i + 1) & mask) {
      const std::uintptr_t held = slots_[i];
      if (held == key || held == 0) {
        return held != 0;
      }
    }
  }

  // Bytes held (for measurements).
  std::size_t memory_bytes() const {
    return bits_.capacity() * sizeof(std::uint64_t) + slots_.capacity() * sizeof(std::uintptr_t);
  }

 private:
  // Multiplicative hashing: the product's top bits spread handles that step
  // evenly over the table.
  std::size_t home(std::uintptr_t key) const {
    return std::size_t((std::uint64_t(key) * 0x9E3779B97F4A7C15ull) >> hash_shift_);
  }

  bool filled_ = false;
  bool grid_ = false;
  // The grid: place i is the handle lowest_ + (i << shift_).
  std::uintptr_t lowest_ = 0;
  std::uintptr_t places_ = 0;
  int shift_ = 0;
  Array<std::uint64_t> bits_;
  // The hash: handles, 0 in an empty slot; its size a power of two.
  Array<std::uintptr_t> slots_;
  int hash_shift_ = 64;  // 64 - log2 of the table's size
};

}  // namespace korv
