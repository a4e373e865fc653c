// Splits arbitrary bytes as the installer splits its own file: both
// sections, with and without the offset check. Nothing may be read or
// written outside the buffers, and a copy never exceeds the input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "memory_split.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (std::uint32_t section : {0u, 1u, 2u}) {
    for (bool check : {false, true}) {
      MemoryInput input(bytes);
      MemoryOutput output;
      const split::Result result = split::SplitSection(input, size, output, 2048, check, section);
      if (output.bytes.size() > size || result.copied != output.bytes.size()) std::abort();
    }
  }
  return 0;
}
