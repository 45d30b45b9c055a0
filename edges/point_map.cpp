#include <algorithm>
#include <bit>

#include "edges/edge_records.h"

namespace korv {

namespace {

std::size_t slot_hash(std::uintptr_t key) {
  // Fibonacci hashing spreads handles that are aligned pointers or small
  // consecutive integers alike.
  return static_cast<std::size_t>((std::uint64_t(key) * 0x9E3779B97F4A7C15ull) >> 20);
}

}  // namespace

void PointMap::rebuild_slots(std::size_t minimum_slots) {
  const std::size_t slot_count =
      std::bit_ceil(std::max<std::size_t>({2 * entries_.size(), minimum_slots, 16}));
  slots_.assign(slot_count, 0);
  const std::size_t mask = slot_count - 1;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    std::size_t s = slot_hash(entries_[i].first) & mask;
    while (slots_[s] != 0) {
      s = (s + 1) & mask;
    }
    slots_[s] = static_cast<std::uint32_t>(i + 1);
  }
}

void PointMap::index_sorted_entries() {
  key_step_ = 0;
  use_slots_ = true;
  const std::size_t n = entries_.size();
  if (n >= 2) {
    // Keys are sorted and unique, so the first gap is not zero.
    const std::uintptr_t step = entries_[1].first - entries_[0].first;
    bool even = true;
    for (std::size_t i = 2; even && i < n; ++i) {
      even = entries_[i].first - entries_[i - 1].first == step;
    }
    if (even) {
      first_key_ = entries_[0].first;
      key_step_ = step;
      key_shift_ = std::has_single_bit(step) ? std::countr_zero(step) : -1;
      use_slots_ = false;
      std::vector<std::uint32_t>().swap(slots_);
      return;
    }
  }
  rebuild_slots(0);
}

void PointMap::assign_keys(std::vector<std::uintptr_t> keys) {
  clear();
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  entries_.reserve(keys.size());
  for (std::uintptr_t key : keys) {
    entries_.emplace_back(key, PointRecord{});
  }
  index_sorted_entries();
}

PointRecord &PointMap::find_or_insert(LWPntID point) {
  const std::uintptr_t key = point_key(point);
  if (!use_slots_) {
    // Inserting after the keys were sorted goes back to the hash table.
    rebuild_slots(0);
    use_slots_ = true;
    key_step_ = 0;
  }
  if (2 * (entries_.size() + 1) > slots_.size()) {
    rebuild_slots(2 * slots_.size());
  }
  const std::size_t mask = slots_.size() - 1;
  std::size_t s = slot_hash(key) & mask;
  for (; slots_[s] != 0; s = (s + 1) & mask) {
    Entry &entry = entries_[slots_[s] - 1];
    if (entry.first == key) {
      return entry.second;
    }
  }
  entries_.emplace_back(key, PointRecord{});
  slots_[s] = static_cast<std::uint32_t>(entries_.size());
  return entries_.back().second;
}

void PointMap::sort_keys() {
  std::sort(entries_.begin(), entries_.end(),
            [](const Entry &a, const Entry &b) { return a.first < b.first; });
  entries_.shrink_to_fit();  // nothing is inserted from here on
  index_sorted_entries();
}

void PointMap::begin_sorted(std::size_t count) {
  clear();
  entries_.reserve(count);
}

std::ptrdiff_t PointMap::slot_index_of(std::uintptr_t key) const {
  if (slots_.empty()) {
    return -1;
  }
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t s = slot_hash(key) & mask;; s = (s + 1) & mask) {
    const std::uint32_t slot = slots_[s];
    if (slot == 0) {
      return -1;
    }
    if (entries_[slot - 1].first == key) {
      return static_cast<std::ptrdiff_t>(slot - 1);
    }
  }
}

void PointMap::clear() {
  // Records go in ascending key order, each with its arrays.
  for (auto &entry : entries_) {
    entry.second.polygons.reset();
    entry.second.edges.reset();
  }
  std::vector<Entry>().swap(entries_);
  std::vector<std::uint32_t>().swap(slots_);
  use_slots_ = true;
  key_step_ = 0;
}

std::size_t PointMap::memory_bytes() const {
  std::size_t bytes =
      entries_.capacity() * sizeof(Entry) + slots_.capacity() * sizeof(std::uint32_t);
  for (const auto &entry : entries_) {
    bytes += std::size_t(entry.second.polygon_count) * sizeof(LWPolID);
    bytes += std::size_t(entry.second.edge_count) * sizeof(const EdgeRecord *);
  }
  return bytes;
}

}  // namespace korv
