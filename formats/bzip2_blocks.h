#pragma once
// The blocks of a bzip2 stream, so that they can be decompressed side by
// side. Each block starts with the 48-bit block magic at any bit position
// (blocks are not byte-aligned) and carries its own CRC; the stream ends
// with the 48-bit end magic and the stream's CRC, which combines the
// blocks' CRCs. A block re-wrapped as a stream of its own (the stream
// header, the block's bits, the end magic and the block's CRC as the stream
// CRC) decompresses on its own. The magics can occur in compressed data by
// chance, so every position found is only a candidate: decompression (the
// block's CRC) and the stream's combined CRC have to confirm it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bzip2_blocks {

struct Marker {
  std::uint64_t bit;  // position of the magic's first bit in the input
  bool end;           // the end-of-stream magic rather than a block's
};

// Finds the magics in input fed piece by piece.
class MarkerScanner {
 public:
  // Scans `size` more bytes; `last` when they end the input.
  void Feed(const unsigned char* data, std::size_t size, bool last);
  // Markers found so far and not yet taken, in input order.
  std::vector<Marker>& Found() { return found_; }

 private:
  std::array<unsigned char, 7> tail_{};  // the last bytes of the previous feed
  std::size_t tailSize_ = 0;
  std::uint64_t fed_ = 0;  // bytes fed before this feed
  std::vector<Marker> found_;
};

// The `count` (at most 32) bits at bit `bit` of `data`, most significant first.
std::uint32_t ReadBits(const unsigned char* data, std::uint64_t bit, unsigned count);

// A stream of its own for the block whose bits are [beginBit, endBit) of
// `data` (from its block magic to the next magic), with block-size digit
// `level` ('1'..'9').
std::string WrapBlock(const unsigned char* data, std::uint64_t beginBit, std::uint64_t endBit, char level);

// The stream CRC after one more block with CRC `block`.
inline std::uint32_t CombineCrc(std::uint32_t combined, std::uint32_t block) {
  return ((combined << 1) | (combined >> 31)) ^ block;
}

}  // namespace bzip2_blocks
