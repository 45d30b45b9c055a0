// The set of point pairs that already have an edge: the edge build's
// duplicate test, which must see every edge recorded so far in either
// direction (open edges included).
//
// Pairs are keyed by the two points' positions in the point map. Each pair is
// filed under the end with fewer polygons (so that a point shared by thousands
// of polygons does not pile all its pairs into one run), at a place that grows
// with that end's position: neighbouring points of a mesh, which the scans meet
// together, then share cache lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korv {

class EdgePairSet {
 public:
  // Empties the set and makes room for about pair_count pairs among
  // point_count points.
  void reset(std::size_t point_count, std::size_t pair_count) {
    std::size_t size = 64;
    while (size < 2 * pair_count) {
      size *= 2;
    }
    slots_.assign(size, 0);
    size_ = 0;
    point_count_ = point_count == 0 ? 1 : point_count;
  }

  // Adds the pair; false when it was there already, so that one probe makes
  // both the test and the insertion. bucket is the end the pair is filed
  // under, other the other end.
  bool insert(std::uint32_t bucket, std::uint32_t other) {
    if (2 * (size_ + 1) > slots_.size()) {
      grow();
    }
    if (place(pack(bucket, other), bucket)) {
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
  static std::uint64_t pack(std::uint32_t bucket, std::uint32_t other) {
    return (std::uint64_t(bucket) + 1) << 32 | other;
  }

  std::size_t start(std::uint32_t bucket) const {
    return static_cast<std::size_t>(std::uint64_t(bucket) * slots_.size() / point_count_) &
           (slots_.size() - 1);
  }

  // False when the pair was there already.
  bool place(std::uint64_t key, std::uint32_t bucket) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = start(bucket);
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
        place(key, std::uint32_t((key >> 32) - 1));
      }
    }
  }

  std::vector<std::uint64_t> slots_;
  std::size_t size_ = 0;
  std::size_t point_count_ = 1;
};

}  // namespace korv
