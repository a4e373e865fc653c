#include "decode/work_memory.h"

#include <cstdlib>
#include <new>

namespace decode {

WorkMemory::~WorkMemory() {
  for (const Block& block : blocks_) std::free(block.memory);
}

void WorkMemory::Attach(bz_stream& stream) {
  stream.bzalloc = &WorkMemory::Allocate;
  stream.bzfree = &WorkMemory::Release;
  stream.opaque = this;
}

void* WorkMemory::Allocate(void* self, int count, int size) {
  std::vector<Block>& blocks = static_cast<WorkMemory*>(self)->blocks_;
  const std::size_t bytes = static_cast<std::size_t>(count) * static_cast<std::size_t>(size);
  for (Block& block : blocks) {
    if (!block.inUse && block.size == bytes) {
      block.inUse = true;
      return block.memory;
    }
  }
  void* memory = std::malloc(bytes);
  if (memory == nullptr) return nullptr;
  // libbzip2 is C: a failed allocation is a null pointer, never an exception.
  try {
    blocks.push_back({memory, bytes, true});
  } catch (const std::bad_alloc&) {
    std::free(memory);
    return nullptr;
  }
  return memory;
}

void WorkMemory::Release(void* self, void* memory) {
  for (Block& block : static_cast<WorkMemory*>(self)->blocks_)
    if (block.memory == memory) block.inUse = false;
}

}  // namespace decode
