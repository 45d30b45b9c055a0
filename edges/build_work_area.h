// The working memory of an instance's edge builds, kept between them.
//
// A build's working arrays take a few bytes per corner each. A deformed
// object is built again every frame, and fresh memory costs a build about a
// quarter of its time on first touch alone; so the cache keeps the storage
// a build gives back, and the next build of any object takes it again. A
// block given back mid-build serves the build's later arrays as well, so the
// area seldom holds more than the largest build's arrays at once.
//
// Nothing here allocates: taking finds a kept block or leaves the array to
// allocate for itself, and giving back keeps the block or frees it.
#pragma once

#include <cstddef>

#include "runtime/checked_memory.h"

namespace korv {

class BuildWorkArea {
 public:
  BuildWorkArea() = default;
  BuildWorkArea(const BuildWorkArea &) = delete;
  BuildWorkArea &operator=(const BuildWorkArea &) = delete;
  ~BuildWorkArea() { release(); }

  // Gives array (empty, its own storage freed) the smallest kept block that
  // holds count elements and is not much larger; without one, array is left
  // to allocate itself. A block far larger than the array would sit idle in
  // it beside the fresh block the array it was made for then allocates,
  // raising the build's peak above that of a build without the area.
  template <class T>
  void take(Array<T> &array, std::size_t count) {
    const std::size_t bytes = count > kMaxBytes / sizeof(T) ? kMaxBytes : count * sizeof(T);
    adopt(array, smallest_holding(bytes));
  }
  // The largest kept block, for an array whose final size is not known yet.
  template <class T>
  void take_largest(Array<T> &array) {
    adopt(array, largest());
  }
  // Keeps array's storage for a later take; array is left empty.
  template <class T>
  void give_back(Array<T> &array) {
    std::size_t bytes = 0;
    void *block = array.release_storage(bytes);
    keep(block, bytes);
  }

  // Brackets one build: a block the build neither took nor gave back
  // belongs to older builds only and is freed at its end, so that the
  // area stays within what the latest builds have used.
  void begin_build();
  void end_build();

  // Frees every kept block.
  void release();

  // The edges the latest build that got through found: a rebuild of the
  // same mesh finds as many, and its edge ends take the block of that size.
  std::size_t last_edge_count = 0;

  // Bytes kept (for measurements).
  std::size_t bytes() const;

 private:
  static constexpr std::size_t kBlocks = 24;
  static constexpr std::size_t kMaxBytes = ~std::size_t(0);
  // A block is taken for an array that fills all but this fraction of it:
  // room for the allocator's rounding and for a mesh that changed a little
  // between frames.
  static constexpr std::size_t kSlackDivisor = 16;
  struct Block {
    void *data = nullptr;
    std::size_t bytes = 0;
    bool used = false;  // given back during the current build
  };

  template <class T>
  void adopt(Array<T> &array, std::size_t at) {
    if (at < kBlocks) {
      array.adopt_storage(blocks_[at].data, blocks_[at].bytes);
      blocks_[at] = Block{};
    }
  }
  std::size_t smallest_holding(std::size_t bytes) const;
  std::size_t largest() const;
  void keep(void *block, std::size_t bytes);

  Block blocks_[kBlocks];
};

}  // namespace korv
