// A set of unordered pairs of point keys: the edge build's duplicate test,
// which must see every edge recorded so far in either direction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace korv {

class EdgePairSet {
 public:
  bool contains(std::uintptr_t a, std::uintptr_t b) const {
    if (slots_.empty()) {
      return false;
    }
    const Pair key = ordered(a, b);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = hash(key) & mask;; s = (s + 1) & mask) {
      if (!slots_[s].used) {
        return false;
      }
      if (slots_[s].pair == key) {
        return true;
      }
    }
  }

  // Adds the pair; false when it was there already (one probe for both the
  // test and the insertion).
  bool insert(std::uintptr_t a, std::uintptr_t b) {
    if (2 * (size_ + 1) > slots_.size()) {
      grow();
    }
    const Pair key = ordered(a, b);
    if (place(slots_, key)) {
      ++size_;
      return true;
    }
    return false;
  }

  void clear() {
    std::vector<Slot>().swap(slots_);
    size_ = 0;
  }

 private:
  using Pair = std::pair<std::uintptr_t, std::uintptr_t>;
  struct Slot {
    Pair pair{};
    bool used = false;
  };

  static Pair ordered(std::uintptr_t a, std::uintptr_t b) {
    return a < b ? Pair{a, b} : Pair{b, a};
  }

  static std::size_t hash(const Pair &p) {
    const std::uint64_t h =
        std::uint64_t(p.first) * 0x9E3779B97F4A7C15ull ^
        (std::uint64_t(p.second) + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }

  // False when the pair was there already.
  static bool place(std::vector<Slot> &slots, const Pair &key) {
    const std::size_t mask = slots.size() - 1;
    std::size_t s = hash(key) & mask;
    for (; slots[s].used; s = (s + 1) & mask) {
      if (slots[s].pair == key) {
        return false;
      }
    }
    slots[s] = {key, true};
    return true;
  }

  void grow() {
    std::vector<Slot> bigger(slots_.empty() ? 64 : 2 * slots_.size());
    for (const Slot &slot : slots_) {
      if (slot.used) {
        place(bigger, slot.pair);
      }
    }
    slots_.swap(bigger);
  }

  std::vector<Slot> slots_;
  std::size_t size_ = 0;
};

}  // namespace korv
