#include "edges/build_work_area.h"

#include <cstdlib>

namespace korv {

std::size_t BuildWorkArea::smallest_holding(std::size_t bytes) const {
  std::size_t best = kBlocks;
  for (std::size_t i = 0; i < kBlocks; ++i) {
    if (blocks_[i].data != nullptr && blocks_[i].bytes >= bytes &&
        blocks_[i].bytes - bytes <= blocks_[i].bytes / kSlackDivisor &&
        (best == kBlocks || blocks_[i].bytes < blocks_[best].bytes)) {
      best = i;
    }
  }
  return best;
}

std::size_t BuildWorkArea::largest() const {
  std::size_t best = kBlocks;
  for (std::size_t i = 0; i < kBlocks; ++i) {
    if (blocks_[i].data != nullptr && (best == kBlocks || blocks_[i].bytes > blocks_[best].bytes)) {
      best = i;
    }
  }
  return best;
}

void BuildWorkArea::keep(void *block, std::size_t bytes) {
  if (block == nullptr) {
    return;
  }
  // A full area keeps the larger blocks: they save the most first touches.
  std::size_t slot = kBlocks;
  for (std::size_t i = 0; i < kBlocks; ++i) {
    if (blocks_[i].data == nullptr) {
      slot = i;
      break;
    }
    if (blocks_[i].bytes < bytes && (slot == kBlocks || blocks_[i].bytes < blocks_[slot].bytes)) {
      slot = i;
    }
  }
  if (slot == kBlocks) {
    std::free(block);
    return;
  }
  std::free(blocks_[slot].data);
  blocks_[slot] = {block, bytes, true};
}

void BuildWorkArea::begin_build() {
  for (Block &block : blocks_) {
    block.used = false;
  }
}

void BuildWorkArea::end_build() {
  for (Block &block : blocks_) {
    if (!block.used) {
      std::free(block.data);
      block = Block{};
    }
  }
}

void BuildWorkArea::release() {
  for (Block &block : blocks_) {
    std::free(block.data);
    block = Block{};
  }
}

std::size_t BuildWorkArea::bytes() const {
  std::size_t total = 0;
  for (const Block &block : blocks_) {
    total += block.data != nullptr ? block.bytes : 0;
  }
  return total;
}

}  // namespace korv
