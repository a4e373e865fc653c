#pragma once
// Finds where bzip2 streams may start in a run of concatenated streams, so
// that they can be decompressed side by side. A stream starts with "BZh",
// a block-size digit and either a block's or the end-of-stream's 48-bit
// magic; compressed data can contain the same ten bytes by chance, so every
// position found is only a candidate that decompression has to confirm.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class StreamStartScanner {
 public:
  static constexpr std::size_t kHeaderSize = 10;

  // Feeds the next `size` bytes of the input.
  void Feed(const unsigned char* data, std::size_t size);

  // Offsets of the candidates found so far, ascending.
  const std::vector<std::int64_t>& Starts() const { return starts_; }

  // Bytes fed so far.
  std::int64_t Size() const { return size_; }

 private:
  std::vector<std::int64_t> starts_;
  std::array<unsigned char, kHeaderSize - 1> tail_{};  // the last bytes of the previous feed
  std::size_t tailSize_ = 0;
  std::int64_t size_ = 0;
};

// True when the ten bytes at `header` look like the start of a bzip2 stream.
bool IsStreamHeader(const unsigned char* header);
