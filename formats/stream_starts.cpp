#include "formats/stream_starts.h"

#include <cstring>

namespace {

constexpr unsigned char kBlockMagic[6] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
constexpr unsigned char kEndMagic[6] = {0x17, 0x72, 0x45, 0x38, 0x50, 0x90};

}  // namespace

bool IsStreamHeader(const unsigned char* header) {
  if (header[0] != 'B' || header[1] != 'Z' || header[2] != 'h' || header[3] < '1' || header[3] > '9') return false;
  return std::memcmp(header + 4, kBlockMagic, 6) == 0 || std::memcmp(header + 4, kEndMagic, 6) == 0;
}

void StreamStartScanner::Feed(const unsigned char* data, std::size_t size) {
  // Headers that straddle two feeds are checked in a small joined window.
  unsigned char joined[2 * (kHeaderSize - 1)];
  std::memcpy(joined, tail_.data(), tailSize_);
  const std::size_t joinedFed = size < kHeaderSize - 1 ? size : kHeaderSize - 1;
  std::memcpy(joined + tailSize_, data, joinedFed);
  const std::size_t joinedSize = tailSize_ + joinedFed;
  for (std::size_t i = 0; i < tailSize_ && i + kHeaderSize <= joinedSize; ++i)
    if (IsStreamHeader(joined + i)) starts_.push_back(size_ - static_cast<std::int64_t>(tailSize_ - i));

  for (std::size_t i = 0; i + kHeaderSize <= size; ++i) {
    const void* found = std::memchr(data + i, 'B', size - kHeaderSize + 1 - i);
    if (found == nullptr) break;
    i = static_cast<std::size_t>(static_cast<const unsigned char*>(found) - data);
    if (IsStreamHeader(data + i)) starts_.push_back(size_ + static_cast<std::int64_t>(i));
  }

  // Keep the last bytes that could still begin a header.
  if (size >= kHeaderSize - 1) {
    std::memcpy(tail_.data(), data + size - (kHeaderSize - 1), kHeaderSize - 1);
    tailSize_ = kHeaderSize - 1;
  } else {
    const std::size_t keep = joinedSize < kHeaderSize - 1 ? joinedSize : kHeaderSize - 1;
    std::memmove(tail_.data(), joined + joinedSize - keep, keep);
    tailSize_ = keep;
  }
  size_ += static_cast<std::int64_t>(size);
}
