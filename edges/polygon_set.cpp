#include "edges/polygon_set.h"

#include <bit>

namespace korv {

namespace {

constexpr std::size_t kFirstSlots = 16;

}  // namespace

bool PolygonSet::start() {
  count_ = 0;
  started_ = false;
  if (!slots_.assign(kFirstSlots, 0)) {
    return false;
  }
  shift_ = 64 - std::countr_zero(kFirstSlots);
  started_ = true;
  return true;
}

bool PolygonSet::insert(LWPolID polygon) {
  const auto key = reinterpret_cast<std::uintptr_t>(polygon);
  if (key == 0) {
    return true;
  }
  // Grown before the insert, so that even a handle listed twice finds room.
  if (4 * (count_ + 1) > 3 * slots_.size() && !rehash(2 * slots_.size())) {
    return false;
  }
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = home(key);
  while (slots_[i] != 0 && slots_[i] != key) {
    i = (i + 1) & mask;
  }
  if (slots_[i] == 0) {
    slots_[i] = key;
    ++count_;
  }
  return true;
}

bool PolygonSet::rehash(std::size_t slots) {
  Array<std::uintptr_t> old = std::move(slots_);
  if (slots < old.size() || !slots_.assign(slots, 0)) {
    slots_ = std::move(old);
    return false;
  }
  shift_ = 64 - std::countr_zero(slots);
  const std::size_t mask = slots - 1;
  for (std::uintptr_t key : old) {
    if (key != 0) {
      std::size_t i = home(key);
      while (slots_[i] != 0) {
        i = (i + 1) & mask;
      }
      slots_[i] = key;
    }
  }
  return true;
}

}  // namespace korv
