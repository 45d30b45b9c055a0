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

// An open-addressed hash of polygon handles, probed linearly, at most three
// quarters full. A set never started (a database built without the list, or
// made by hand) lists every polygon; a started one lists the polygons
// inserted since, and never a null one.
class PolygonSet {
 public:
  // Begins the list, empty; false when memory runs out.
  [[nodiscard]] bool start();
  // Lists polygon (a null one is skipped); false when memory runs out, the
  // set then staying as it was.
  [[nodiscard]] bool insert(LWPolID polygon);

  // Inline: the node's query asks once per sample. The probe ends at an
  // empty slot, of which a table at most three quarters full always has one.
  bool lists(LWPolID polygon) const {
    if (!started_) {
      return true;
    }
    const auto key = reinterpret_cast<std::uintptr_t>(polygon);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = home(key);; i = (i + 1) & mask) {
      const std::uintptr_t held = slots_[i];
      if (held == key || held == 0) {
        return held != 0;
      }
    }
  }

  // Bytes held by the table (for measurements).
  std::size_t memory_bytes() const { return slots_.capacity() * sizeof(std::uintptr_t); }

 private:
  // Multiplicative hashing: the product's top bits spread handles that step
  // evenly (numbers, or records laid out in one array) over the table.
  std::size_t home(std::uintptr_t key) const {
    return std::size_t((std::uint64_t(key) * 0x9E3779B97F4A7C15ull) >> shift_);
  }
  [[nodiscard]] bool rehash(std::size_t slots);

  Array<std::uintptr_t> slots_;  // handles; 0 is an empty slot; size a power of two
  std::size_t count_ = 0;
  int shift_ = 64;  // 64 - log2 of the table's size
  bool started_ = false;
};

}  // namespace korv
