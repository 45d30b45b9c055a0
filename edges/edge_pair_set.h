// The set of point pairs that already have an edge: the edge build's
// duplicate test, which must see every edge recorded so far in either
// direction (open edges included).
//
// Pairs are keyed by the two points' positions in the point map, the lower
// first, and placed by a hash of both: whatever order the scans meet the
// points in, and however unevenly a mesh's pairs fall among its points (closed
// objects followed by many loose quads, a point of thousands of polygons), the
// probes stay short.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

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

class EdgePairSet {
 public:
  // Empties the set and makes room for about pair_count pairs.
  void reset(std::size_t pair_count) {
    std::size_t size = 64;
    while (size < 2 * pair_count) {
      size *= 2;
    }
    slots_.assign(size, 0);
    size_ = 0;
  }

  // Adds the pair of a and b (in either order); false when it was there
  // already, so that one probe makes both the test and the insertion.
  bool insert(std::uint32_t a, std::uint32_t b) {
    if (2 * (size_ + 1) > slots_.size()) {
      grow();
    }
    if (place(point_pair_key(a, b))) {
      ++size_;
      return true;
    }
    return false;
  }

  void clear() {
    std::vector<std::uint64_t>().swap(slots_);
    size_ = 0;
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

  void grow() {
    std::vector<std::uint64_t> old(slots_.empty() ? 32 : slots_.size(), 0);
    old.swap(slots_);
    slots_.assign(2 * slots_.size(), 0);
    for (std::uint64_t key : old) {
      if (key != 0) {
        place(key);
      }
    }
  }

  std::vector<std::uint64_t> slots_;
  std::size_t size_ = 0;
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
  void note(std::uint32_t a, std::uint32_t b, std::uint32_t ordinal, std::uint32_t use_a,
            std::uint32_t use_b) {
    if (2 * (size_ + 1) > keys_.size()) {
      grow();
    }
    const std::uint64_t key = point_pair_key(a, b);
    const std::size_t s = slot_of(key);
    if (keys_[s] == 0) {
      keys_[s] = key;
      ++size_;
    }
    Found &found = values_[s];
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
    const std::size_t s = slot_of(point_pair_key(a, b));
    return keys_[s] == 0 ? nullptr : &values_[s];
  }

  void clear() {
    std::vector<std::uint64_t>().swap(keys_);
    std::vector<Found>().swap(values_);
    size_ = 0;
  }

 private:
  // The key's slot, or the empty one where it would go.
  std::size_t slot_of(std::uint64_t key) const {
    const std::size_t mask = keys_.size() - 1;
    std::size_t s = point_pair_slot(key, keys_.size());
    while (keys_[s] != 0 && keys_[s] != key) {
      s = (s + 1) & mask;
    }
    return s;
  }

  void grow() {
    std::vector<std::uint64_t> old_keys(keys_.empty() ? 32 : 2 * keys_.size(), 0);
    std::vector<Found> old_values(old_keys.size());
    old_keys.swap(keys_);
    old_values.swap(values_);
    for (std::size_t i = 0; i < old_keys.size(); ++i) {
      if (old_keys[i] != 0) {
        const std::size_t s = slot_of(old_keys[i]);
        keys_[s] = old_keys[i];
        values_[s] = old_values[i];
      }
    }
  }

  std::vector<std::uint64_t> keys_;
  std::vector<Found> values_;
  std::size_t size_ = 0;
};

}  // namespace korv
