#include <algorithm>
#include <bit>
#include <cstdint>

#include "edges/edge_records.h"

namespace korv {

EdgeList::~EdgeList() = default;

ObjectEdgeDatabase::~ObjectEdgeDatabase() {
  // Point records go first: their edges arrays refer into the edge list.
  points.clear();
  edge_list.reset();
}

EdgeCache *create_edge_cache() {
  return new EdgeCache();  // null when memory is exhausted
}

void destroy_edge_cache(EdgeCache *cache) {
  if (cache == nullptr) {
    return;
  }
  empty_edge_cache(cache);
  delete cache;
}

void empty_edge_cache(EdgeCache *cache) {
  if (cache == nullptr) {
    return;
  }
  for (auto &database : cache->databases) {
    destroy_edge_database(database.release());
  }
  cache->databases.clear();  // keeps the capacity
  std::fill(cache->slots.begin(), cache->slots.end(), 0u);
  cache->indexed = 0;
  cache->failed_builds.clear();
}

void release_work_area(EdgeCache *cache) {
  if (cache != nullptr) {
    cache->work_area.release();
  }
}

void forget_failed_builds(EdgeCache *cache) {
  if (cache != nullptr) {
    cache->failed_builds.clear();
  }
}

bool remembers_failed_build(const EdgeCache &cache, LWItemID object) {
  return std::find(cache.failed_builds.begin(), cache.failed_builds.end(), object) !=
         cache.failed_builds.end();
}

void remember_failed_build(EdgeCache &cache, LWItemID object) noexcept {
  (void)cache.failed_builds.push_back(object);  // unremembered, the next sample tries again
}

void destroy_edge_database(ObjectEdgeDatabase *database) {
  delete database;
}

namespace {

// Multiplicative hashing: the product's top bits spread handles that step
// evenly (objects laid out in one array) over the table.
std::size_t home(LWItemID object, const Array<std::uint32_t> &slots) {
  const int bits = std::countr_zero(slots.size());
  const std::uint64_t product =
      std::uint64_t(reinterpret_cast<std::uintptr_t>(object)) * 0x9E3779B97F4A7C15ull;
  return bits == 0 ? 0 : std::size_t(product >> (64 - bits));
}

// Enters databases [from, to) into slots, each unless an earlier database of
// its object is there already.
void enter(const EdgeCache &cache, Array<std::uint32_t> &slots, std::size_t from, std::size_t to) {
  const std::size_t mask = slots.size() - 1;
  for (std::size_t k = from; k < to; ++k) {
    const ObjectEdgeDatabase *database = cache.databases[k].get();
    if (database == nullptr) {
      continue;
    }
    std::size_t i = home(database->object_id, slots);
    while (slots[i] != 0 && cache.databases[slots[i] - 1]->object_id != database->object_id) {
      i = (i + 1) & mask;
    }
    if (slots[i] == 0) {
      slots[i] = std::uint32_t(k + 1);
    }
  }
}

}  // namespace

bool append_edge_database(EdgeCache &cache, std::unique_ptr<ObjectEdgeDatabase> &database) {
  const std::size_t count = cache.databases.size() + 1;
  // Positions are kept in 32 bits, and the table stays at most half full.
  if (database == nullptr || count >= 0x7FFFFFFFu || !cache.databases.make_room(1)) {
    return false;
  }
  if (cache.slots.size() < 2 * count) {
    std::size_t size = 16;
    while (size < 2 * count) {
      size *= 2;
    }
    Array<std::uint32_t> grown;
    if (!grown.assign(size, 0u)) {
      return false;
    }
    enter(cache, grown, 0, cache.databases.size());
    cache.slots = std::move(grown);
  } else {
    enter(cache, cache.slots, cache.indexed, cache.databases.size());
  }
  (void)cache.databases.push_back(std::move(database));  // room reserved above
  enter(cache, cache.slots, count - 1, count);
  cache.indexed = count;
  return true;
}

ObjectEdgeDatabase *find_edge_database(EdgeCache &cache, LWItemID object) {
  if (cache.indexed == cache.databases.size() && !cache.slots.empty()) {
    // The table always has an empty slot, where a probe for an object
    // without a database ends.
    const std::size_t mask = cache.slots.size() - 1;
    for (std::size_t i = home(object, cache.slots);; i = (i + 1) & mask) {
      const std::uint32_t slot = cache.slots[i];
      if (slot == 0) {
        return nullptr;
      }
      ObjectEdgeDatabase *database = cache.databases[slot - 1].get();
      if (database->object_id == object) {
        return database;
      }
    }
  }
  for (auto &database : cache.databases) {
    if (database != nullptr && database->object_id == object) {
      return database.get();
    }
  }
  return nullptr;
}

}  // namespace korv
