#include "formats/split_core.h"

#include <algorithm>

#include "formats/layout.h"

namespace split {

Result SplitSection(Input& input, std::uint64_t fileSize, Output& output, std::uint32_t expectedOffset,
                    bool checkOffset, std::uint32_t sectionIndex) {
  Result result;
  unsigned char window[layout::kMarkerSearchWindow];
  const std::size_t windowSize = static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, sizeof window));
  std::size_t filled = 0;
  if (input.Seek(fileSize - windowSize))
    while (filled < windowSize) {
      const std::size_t count = input.Read(window + filled, windowSize - filled);
      if (count == 0) break;
      filled += count;
    }
  const auto marker = layout::FindEndMarkerLine(window, filled);
  if (!marker || *marker + layout::kEndMarkerLineSize + layout::kTrailerSize > filled) return result;
  result.signatureSize = layout::SignatureSizeAt(filled, *marker);

  // Walk back from just after the script's trailer; each trailer holds the
  // start of its section, and section k ends 4 bytes before section k - 1.
  std::uint64_t position = fileSize - result.signatureSize;
  std::uint64_t sectionEnd = fileSize - result.signatureSize - layout::kTrailerSize;
  for (std::uint32_t i = 0;; ++i) {
    unsigned char trailer[layout::kTrailerSize];
    result.failedIndex = i;
    if (position < layout::kTrailerSize || !input.Seek(position - layout::kTrailerSize) ||
        input.Read(trailer, sizeof trailer) != sizeof trailer) {
      result.outcome = Outcome::kBrokenChain;
      return result;
    }
    result.readOffset = layout::ReadLe32(trailer);
    if (i == sectionIndex && checkOffset && result.readOffset != expectedOffset) {
      result.outcome = Outcome::kOffsetMismatch;
      return result;
    }
    if (result.readOffset > sectionEnd) {
      result.outcome = Outcome::kBrokenChain;
      return result;
    }
    if (i == sectionIndex) break;
    sectionEnd = result.readOffset - std::min<std::uint64_t>(result.readOffset, layout::kTrailerSize);
    position = result.readOffset;
  }

  const std::uint64_t length = sectionEnd - result.readOffset;
  result.outcome = Outcome::kCopied;
  if (!input.Seek(result.readOffset)) return result;
  unsigned char block[kCopyBlock];
  while (result.copied < length) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof block, length - result.copied));
    const std::size_t count = input.Read(block, want);
    if (count == 0) break;
    if (!output.Write(block, count)) {
      result.writeFailed = true;
      break;
    }
    result.copied += count;
  }
  return result;
}

}  // namespace split
