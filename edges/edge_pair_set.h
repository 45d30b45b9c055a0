// The set of point pairs that already have an edge: the edge build's
// duplicate test, which must see every edge recorded so far in either
// direction (open edges included).
//
// A pair is filed under one of its ends, in that point's region of the set:
// four slots per use of the point, the regions lying in the order of the
// point map, so that neighbouring points of a mesh, which the scans meet
// together, share cache lines. A point of c uses is the end of at most 2c
// sides, so its region is never more than half full while the mesh is the
// one counted; within it, a pair's first probe is a hash of its other end.
// However unevenly a mesh's pairs fall among its points (closed objects
// followed by many loose quads, a hub of thousands of sides), the probes
// stay short. A region that fills all the same (the host's mesh changed
// since the count) passes its further pairs to a hash set of all the points.
//
// The sets grow without throwing: where memory runs out they note it, add
// nothing more, and their owner asks failed() before trusting an answer.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "runtime/checked_memory.h"

namespace korv {

// The unordered pair of point entries a and b as one key, never zero (which
// marks an empty slot), and its first probe in a table of size slots (a
// power of two): Fibonacci hashing, whose top bits depend on every bit of
// both ends.
inline std::uint64_t point_pair_key(std::uint32_t a, std::uint32_t b) {
  return (std::uint64_t(std::min(a, b)) + 1) << 32 | std::max(a, b);
}
inline std::size_t point_pair_slot(std::uint64_t key, std::size_t size) {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - std::bit_width(size - 1)));
}

// A hash set of unordered point pairs.
class PointPairSet {
 public:
  // Adds the pair of a and b (in either order); false when it was there
  // already, so that one probe makes both the test and the insertion. True
  // with failed() set when memory ran out.
  bool insert(std::uint32_t a, std::uint32_t b) {
    if (failed_) {
      return true;
    }
    if (2 * (size_ + 1) > slots_.size() && !grow()) {
      failed_ = true;
      return true;
    }
    if (place(point_pair_key(a, b))) {
      ++size_;
      return true;
    }
    return false;
  }

  bool failed() const { return failed_; }

  void clear() {
    slots_.reset();
    size_ = 0;
    failed_ = false;
  }

 private:
  // False when the pair was there already.
  bool place(std::uint64_t key) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = point_pair_slot(key, slots_.size());
    for (; slots_[s] != 0; s = (s + 1) & mask) {
      if (slots_[s] == key) {
        return false;
      }
    }
    slots_[s] = key;
    return true;
  }

  bool grow() {
    Array<std::uint64_t> grown;
    if (!grown.assign(slots_.empty() ? 64 : 2 * slots_.size(), 0)) {
      return false;
    }
    std::swap(grown, slots_);
    for (std::uint64_t key : grown) {
      if (key != 0) {
        place(key);
      }
    }
    return true;
  }

  Array<std::uint64_t> slots_;
  std::size_t size_ = 0;
  bool failed_ = false;
};

class EdgePairSet {
 public:
  // Empties the set and gives each point entry i a region of four slots per
  // use, starts[i] being where its uses begin among all corner uses and
  // starts[count] their total. The set reads starts, which must outlive its
  // use, instead of keeping a copy; its slots are made on the first insert,
  // so that a build that records no edge never pays for them.
  void reset(const std::uint32_t *starts, std::size_t count) {
    clear();
    starts_ = starts;
    slot_count_ = kSlotsPerUse * std::size_t(starts[count]);
  }

  // Whether a pair could not be added for want of memory.
  bool failed() const { return failed_ || overflow_.failed(); }

  // Adds the pair of points under (the one it is filed under) and other;
  // false when it was there already. True with failed() set when memory ran
  // out.
  bool insert(std::uint32_t under, std::uint32_t other) {
    if (slots_ == nullptr && !make_slots()) {
      return true;
    }
    const std::size_t begin = kSlotsPerUse * std::size_t(starts_[under]);
    const std::size_t size = kSlotsPerUse * std::size_t(starts_[under + 1]) - begin;
    const auto hash = std::uint32_t((std::uint64_t(other) * 0x9E3779B97F4A7C15ull) >> 32);
    std::size_t s = std::size_t((std::uint64_t(hash) * size) >> 32);
    for (std::size_t probe = 0; probe < size; ++probe) {
      std::uint32_t &slot = slots_[begin + s];
      if (slot == other + 1) {
        return false;
      }
      if (slot == 0) {
        slot = other + 1;
        return true;
      }
      s = s + 1 == size ? 0 : s + 1;
    }
    return overflow_.insert(under, other);
  }

  void clear() {
    starts_ = nullptr;
    slot_count_ = 0;
    slots_.reset();
    overflow_.clear();
    failed_ = false;
  }

 private:
  static constexpr std::size_t kSlotsPerUse = 4;

  // The slots come zeroed from calloc: a large block is fresh from the
  // system, already zero, so that the regions of points that never get a
  // pair (most points of a smooth mesh) are never written.
  bool make_slots() {
    if (!failed_) {
      // A set of no uses keeps one slot, never probed, so that it is made once.
      slots_.reset(static_cast<std::uint32_t *>(
          allocate_zeroed(slot_count_ == 0 ? 1 : slot_count_, sizeof(std::uint32_t))));
      failed_ = slots_ == nullptr;
    }
    return !failed_;
  }

  struct Free {
    void operator()(std::uint32_t *block) const noexcept { std::free(block); }
  };

  const std::uint32_t *starts_ = nullptr;
  std::size_t slot_count_ = 0;
  std::unique_ptr<std::uint32_t[], Free> slots_;  // the other end + 1, or 0 while empty
  PointPairSet overflow_;
  bool failed_ = false;
};

// For pairs of distinct point entries, the first two polygons noted that
// hold both points, each with where its uses begin in either point's list.
// The edge build notes polygons in scan order, so these are the two of the
// lowest scan ordinals.
class PairContainers {
 public:
  struct Container {
    std::uint32_t ordinal;
    std::uint32_t use_low;   // in the list of the lower entry of the two
    std::uint32_t use_high;  // in the list of the higher
  };
  struct Found {
    Container first[2];
    std::uint32_t count = 0;
  };

  // Notes the polygon of ordinal as holding a and b, its uses beginning at
  // use_a in a's list and use_b in b's; kept while fewer than two are.
  // Where memory runs out, notes nothing more and sets failed().
  void note(std::uint32_t a, std::uint32_t b, std::uint32_t ordinal, std::uint32_t use_a,
            std::uint32_t use_b) {
    if (failed_) {
      return;
    }
    if (2 * (size_ + 1) > slots_.size() && !grow()) {
      failed_ = true;
      return;
    }
    const std::uint64_t key = point_pair_key(a, b);
    Slot &slot = slots_[slot_of(key)];
    if (slot.key == 0) {
      slot.key = key;
      ++size_;
    }
    Found &found = slot.found;
    if (found.count < 2) {
      found.first[found.count++] =
          a < b ? Container{ordinal, use_a, use_b} : Container{ordinal, use_b, use_a};
    }
  }

  // What was noted for the pair, or null.
  const Found *find(std::uint32_t a, std::uint32_t b) const {
    if (size_ == 0) {
      return nullptr;
    }
    const Slot &slot = slots_[slot_of(point_pair_key(a, b))];
    return slot.key == 0 ? nullptr : &slot.found;
  }

  bool failed() const { return failed_; }

  void clear() {
    slots_.reset();
    size_ = 0;
    failed_ = false;
  }

 private:
  // A key beside its polygons, so that one look finds both.
  struct Slot {
    std::uint64_t key = 0;
    Found found;
  };

  // The key's slot, or the empty one where it would go.
  std::size_t slot_of(std::uint64_t key) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = point_pair_slot(key, slots_.size());
    while (slots_[s].key != 0 && slots_[s].key != key) {
      s = (s + 1) & mask;
    }
    return s;
  }

  bool grow() {
    Array<Slot> grown;
    if (!grown.resize(slots_.empty() ? 32 : 2 * slots_.size())) {
      return false;
    }
    std::swap(grown, slots_);
    for (const Slot &slot : grown) {
      if (slot.key != 0) {
        slots_[slot_of(slot.key)] = slot;
      }
    }
    return true;
  }

  Array<Slot> slots_;
  std::size_t size_ = 0;
  bool failed_ = false;
};

}  // namespace korv
