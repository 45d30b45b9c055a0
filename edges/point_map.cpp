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

bool PointMap::rebuild_slots(std::size_t minimum_slots) {
  const std::size_t slot_count =
      std::bit_ceil(std::max<std::size_t>({2 * entries_.size(), minimum_slots, 16}));
  if (!slots_.assign(slot_count, 0)) {
    return false;
  }
  const std::size_t mask = slot_count - 1;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    std::size_t s = slot_hash(entries_[i].first) & mask;
    while (slots_[s] != 0) {
      s = (s + 1) & mask;
    }
    slots_[s] = static_cast<std::uint32_t>(i + 1);
  }
  return true;
}

bool PointMap::index_sorted_entries() {
  key_step_ = 0;
  use_slots_ = true;
  place_bits_.reset();
  place_ranks_.reset();
  places_ = 0;
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
      slots_.reset();
      return true;
    }
  }
  return rebuild_slots(0);
}

bool PointMap::assign_keys(std::initializer_list<std::uintptr_t> keys) {
  clear();
  Array<std::uintptr_t> sorted;
  if (!sorted.assign(keys.begin(), keys.end())) {
    return false;
  }
  std::sort(sorted.begin(), sorted.end());
  const std::uintptr_t *last = std::unique(sorted.begin(), sorted.end());
  if (!entries_.reserve(std::size_t(last - sorted.begin()))) {
    return false;
  }
  for (const std::uintptr_t *key = sorted.begin(); key != last; ++key) {
    append_sorted(*key);
  }
  if (!index_sorted_entries()) {
    clear();
    return false;
  }
  return true;
}

PointRecord *PointMap::find_or_insert(LWPntID point) {
  const std::uintptr_t key = point_key(point);
  if (!use_slots_) {
    // Inserting after the keys were sorted goes back to the hash table.
    if (!rebuild_slots(0)) {
      return nullptr;
    }
    use_slots_ = true;
    key_step_ = 0;
  }
  if (2 * (entries_.size() + 1) > slots_.size() && !rebuild_slots(2 * slots_.size())) {
    return nullptr;
  }
  const std::size_t mask = slots_.size() - 1;
  std::size_t s = slot_hash(key) & mask;
  for (; slots_[s] != 0; s = (s + 1) & mask) {
    Entry &entry = entries_[slots_[s] - 1];
    if (entry.first == key) {
      return &entry.second;
    }
  }
  if (!entries_.emplace_back(key, PointRecord{})) {
    return nullptr;
  }
  slots_[s] = static_cast<std::uint32_t>(entries_.size());
  return &entries_.back().second;
}

bool PointMap::sort_keys() {
  std::sort(entries_.begin(), entries_.end(),
            [](const Entry &a, const Entry &b) { return a.first < b.first; });
  entries_.shrink_to_fit();  // nothing is inserted from here on
  return index_sorted_entries();
}

bool PointMap::begin_sorted(std::size_t count) {
  clear();
  return entries_.reserve(count);
}

bool PointMap::keep_only(const Array<std::uint8_t> &keep) {
  const std::size_t kept =
      std::size_t(std::count_if(keep.begin(), keep.end(), [](std::uint8_t k) { return k != 0; }));
  if (kept == entries_.size()) {
    return true;
  }
  // Until a first drop every entry is a place of an even step's grid.
  const bool grid = !use_slots_ && place_bits_.empty() && kept != 0;
  const std::size_t words = grid ? (entries_.size() + 63) / 64 : 0;
  Array<Entry> entries;
  Array<std::uint64_t> bits;
  Array<std::uint32_t> ranks;
  if (!entries.reserve(kept) || !bits.assign(words, 0) || !ranks.assign(words, 0)) {
    clear();
    return false;
  }
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (keep[i] != 0) {
      (void)entries.push_back(entries_[i]);  // room was made above
      if (grid) {
        bits[i / 64] |= std::uint64_t(1) << (i % 64);
      }
    }
  }
  std::uint32_t before = 0;
  for (std::size_t w = 0; w < words; ++w) {
    ranks[w] = before;
    before += std::uint32_t(std::popcount(bits[w]));
  }
  const std::size_t places = entries_.size();
  entries_ = std::move(entries);
  if (grid) {
    place_bits_ = std::move(bits);
    place_ranks_ = std::move(ranks);
    places_ = places;
    return true;
  }
  // Kept keys no longer step evenly, if they did: they are hashed, and an
  // empty map needs no table at all.
  use_slots_ = true;
  key_step_ = 0;
  place_bits_.reset();
  place_ranks_.reset();
  places_ = 0;
  if (entries_.empty()) {
    slots_.reset();
    return true;
  }
  if (!rebuild_slots(0)) {
    clear();
    return false;
  }
  return true;
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
  entries_.reset();
  slots_.reset();
  polygon_pool.reset();
  edge_pool.reset();
  place_bits_.reset();
  place_ranks_.reset();
  places_ = 0;
  use_slots_ = true;
  key_step_ = 0;
}

std::size_t PointMap::memory_bytes() const {
  std::size_t bytes =
      entries_.capacity() * sizeof(Entry) + slots_.capacity() * sizeof(std::uint32_t);
  bytes += place_bits_.capacity() * sizeof(std::uint64_t) +
           place_ranks_.capacity() * sizeof(std::uint32_t);
  bytes += polygon_pool.capacity() * sizeof(LWPolID);
  bytes += edge_pool.capacity() * sizeof(const EdgeRecord *);
  return bytes;
}

}  // namespace korv
