#pragma once
// Copying one appended section out of a setup package: find the end marker
// in the last 12,288 bytes, derive the signature size from where it lies,
// walk the chain of trailers back to the section, and copy it in 4,096-byte
// blocks. Streams through fixed buffers whatever the package size. Needs no
// Windows API: the caller supplies the files.

#include <cstddef>
#include <cstdint>

namespace split {

class Input {
 public:
  virtual ~Input() = default;
  // Positions the next read at `offset` from the start; false when it cannot.
  virtual bool Seek(std::uint64_t offset) = 0;
  // Reads up to `size` bytes; returns how many were read (0 at the end).
  virtual std::size_t Read(void* buffer, std::size_t size) = 0;
};

class Output {
 public:
  virtual ~Output() = default;
  virtual bool Write(const void* data, std::size_t size) = 0;
};

enum class Outcome {
  kCopied,          // the section was copied (up to the end of the file)
  kNoEndMarker,     // no end-marker line in the last 12,288 bytes
  kOffsetMismatch,  // the section's start differs from the expected offset
  kBrokenChain,     // a trailer points outside the file or before the next one
};

struct Result {
  Outcome outcome = Outcome::kNoEndMarker;
  std::uint32_t signatureSize = 0;  // known unless kNoEndMarker
  std::uint32_t readOffset = 0;     // the start read for the failing or copied section
  std::uint32_t failedIndex = 0;    // the chain step that failed
  std::uint64_t copied = 0;         // bytes written
  bool writeFailed = false;         // the output refused bytes: the copy is incomplete
};

inline constexpr std::size_t kCopyBlock = 4096;

// Copies section `sectionIndex` (0: the script, 1: the payload) of the
// package `input` of `fileSize` bytes into `output`. With `checkOffset`, the
// section must start at `expectedOffset`.
Result SplitSection(Input& input, std::uint64_t fileSize, Output& output, std::uint32_t expectedOffset,
                    bool checkOffset, std::uint32_t sectionIndex);

}  // namespace split
