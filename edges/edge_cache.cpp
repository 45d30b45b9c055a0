#include <algorithm>

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
  cache->failed_builds.clear();
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

ObjectEdgeDatabase *find_edge_database(EdgeCache &cache, LWItemID object) {
  for (auto &database : cache.databases) {
    if (database != nullptr && database->object_id == object) {
      return database.get();
    }
  }
  return nullptr;
}

}  // namespace korv
