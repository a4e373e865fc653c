#pragma once
// SplitSetupFile: copies one appended section of the setup package into a
// file of its own (section 0 is the installer script, section 1 the
// compressed payload).

#include <windows.h>

#include <cstdint>
#include <string>

enum class SplitStatus {
  kCopied,
  kOpenFailed,      // the package cannot be opened
  kNoEndMarker,     // no end-marker line near the end: not a whole package
  kOffsetMismatch,  // the section does not start where expected, or the chain of offsets is broken
  kWriteFailed,     // the copy could not be written whole
};

struct SplitResult {
  SplitStatus status = SplitStatus::kCopied;
  // kOpenFailed: the package's stream as its open returned it (null), and the output handle.
  const void* input = nullptr;
  const void* output = nullptr;
  // kOffsetMismatch: the offset read, the one expected and the chain step.
  std::uint32_t readOffset = 0;
  std::uint32_t failedIndex = 0;
  std::uint64_t written = 0;  // kWriteFailed: bytes written before the failure
};

// Copies section `sectionIndex` of `inputPath` into `output`, an empty file
// open for writing, which stays open for the caller (written up to where a
// failure stopped the copy). With `checkOffset` the section must start at
// `expectedOffset`. Logs its progress lines; shows nothing and ends
// nothing: the result says what went wrong.
SplitResult SplitSetupFile(const std::string& inputPath, HANDLE output, std::uint32_t expectedOffset, bool checkOffset,
                           std::uint32_t sectionIndex);
