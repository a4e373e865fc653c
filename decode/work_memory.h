#pragma once
// libbzip2's work memory kept between the streams one thread compresses or
// decompresses: fresh memory for every stream would be thousands of page
// faults each time (about 7.6 MB to compress at block size 9, 3.6 MB to
// decompress). Each thread owns one as a local: a thread_local with a
// destructor crashes at thread exit in the Windows build, whose runtime may
// free its storage before the destructor runs.

#include <bzlib.h>

#include <cstddef>
#include <vector>

namespace decode {

class WorkMemory {
 public:
  WorkMemory() = default;
  WorkMemory(const WorkMemory&) = delete;
  WorkMemory& operator=(const WorkMemory&) = delete;
  // Frees every block; no stream attached to it may still be open.
  ~WorkMemory();

  // Makes `stream` take its memory from here; call before its init.
  void Attach(bz_stream& stream);

 private:
  static void* Allocate(void* self, int count, int size);
  static void Release(void* self, void* memory);

  struct Block {
    void* memory;
    std::size_t size;
    bool inUse;
  };
  std::vector<Block> blocks_;
};

}  // namespace decode
