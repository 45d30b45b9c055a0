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

void PointMap::assign_keys(std::vector<std::uintptr_t> keys) {
  clear();
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  entries_.reserve(keys.size());
  for (std::uintptr_t key : keys) {
    entries_.emplace_back(key, PointRecord{});
  }
  rebuild_slots(0);
}

std::size_t PointMap::find_or_insert_index(LWPntID point) {
  const std::uintptr_t key = point_key(point);
  if (2 * (entries_.size() + 1) > slots_.size()) {
    rebuild_slots(2 * slots_.size());
  }
  const std::size_t mask = slots_.size() - 1;
  std::size_t s = slot_hash(key) & mask;
  for (; slots_[s] != 0; s = (s + 1) & mask) {
    if (entries_[slots_[s] - 1].first == key) {
      return slots_[s] - 1;
    }
  }
  entries_.emplace_back(key, PointRecord{});
  slots_[s] = static_cast<std::uint32_t>(entries_.size());
  return entries_.size() - 1;
}

PointRecord &PointMap::find_or_insert(LWPntID point) {
  return entries_[find_or_insert_index(point)].second;
}

std::vector<std::uint32_t> PointMap::sort_keys() {
  std::vector<std::uint32_t> order(entries_.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    order[i] = static_cast<std::uint32_t>(i);
  }
  // Handles usually arrive nearly in key order: check before sorting.
  const bool sorted =
      std::is_sorted(entries_.begin(), entries_.end(),
                     [](const Entry &a, const Entry &b) { return a.first < b.first; });
  std::vector<std::uint32_t> new_position(order);
  if (!sorted) {
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return entries_[a].first < entries_[b].first;
    });
    std::vector<Entry> sorted_entries;
    sorted_entries.reserve(entries_.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
      new_position[order[i]] = static_cast<std::uint32_t>(i);
      sorted_entries.push_back(std::move(entries_[order[i]]));
    }
    entries_.swap(sorted_entries);
  } else {
    entries_.shrink_to_fit();
  }
  // Nothing is inserted any more: the smallest table at half load will do.
  rebuild_slots(0);
  return new_position;
}

std::ptrdiff_t PointMap::index_of(std::uintptr_t key) const {
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

PointRecord *PointMap::find(LWPntID point) {
  const std::ptrdiff_t i = index_of(point_key(point));
  return i < 0 ? nullptr : &entries_[static_cast<std::size_t>(i)].second;
}

const PointRecord *PointMap::find(LWPntID point) const {
  const std::ptrdiff_t i = index_of(point_key(point));
  return i < 0 ? nullptr : &entries_[static_cast<std::size_t>(i)].second;
}

void PointMap::clear() {
  // Records go in ascending key order, each with its arrays.
  for (auto &entry : entries_) {
    entry.second.polygons.reset();
    entry.second.edges.reset();
  }
  std::vector<Entry>().swap(entries_);
  std::vector<std::uint32_t>().swap(slots_);
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
