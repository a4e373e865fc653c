#include "formats/bzip2_blocks.h"

#include <algorithm>
#include <cstring>

namespace bzip2_blocks {
namespace {

constexpr std::uint64_t kBlockMagic = 0x314159265359ULL;
constexpr std::uint64_t kEndMagic = 0x177245385090ULL;
constexpr std::uint64_t kMask48 = (1ULL << 48) - 1;

// For each byte value, the bit shifts (0..7) at which it can be the second
// byte of either magic: every magic position puts a fixed byte there, so
// most bytes are passed over with one look-up.
struct SecondByteTable {
  std::array<unsigned char, 256> shifts{};
  constexpr SecondByteTable() {
    for (unsigned s = 0; s < 8; ++s) {
      shifts[(kBlockMagic >> (32 + s)) & 0xFF] |= static_cast<unsigned char>(1u << s);
      shifts[(kEndMagic >> (32 + s)) & 0xFF] |= static_cast<unsigned char>(1u << s);
    }
  }
};
constexpr SecondByteTable kSecondByte;

std::uint64_t BigEndian64(const unsigned char* p) {
  std::uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value = (value << 8) | p[i];
  return value;
}

// Scans `bytes` (whose first byte is input byte `base`) for magics starting
// in bytes [0, limit); every such magic must lie wholly inside `bytes`, which
// must hold 8 bytes from each start (zero padding allowed past the input).
void Scan(const unsigned char* bytes, std::size_t limit, std::uint64_t base, std::uint64_t inputBits,
          std::vector<Marker>& found) {
  for (std::size_t i = 0; i < limit; ++i) {
    const unsigned shifts = kSecondByte.shifts[bytes[i + 1]];
    if (shifts == 0) continue;
    const std::uint64_t window = BigEndian64(bytes + i);
    for (unsigned s = 0; s < 8; ++s) {
      if ((shifts & (1u << s)) == 0) continue;
      const std::uint64_t value = (window >> (16 - s)) & kMask48;
      if (value != kBlockMagic && value != kEndMagic) continue;
      const std::uint64_t bit = (base + i) * 8 + s;
      if (bit + 48 <= inputBits) found.push_back({bit, value == kEndMagic});
    }
  }
}

}  // namespace

void MarkerScanner::Feed(const unsigned char* data, std::size_t size, bool last) {
  // Starts among the tail's bytes, checked in a small joined window.
  unsigned char joined[7 + 8 + 8] = {};
  std::memcpy(joined, tail_.data(), tailSize_);
  const std::size_t joinedFed = size < 15 ? size : 15;
  if (joinedFed > 0) std::memcpy(joined + tailSize_, data, joinedFed);
  const std::uint64_t total = fed_ + size;
  const std::uint64_t inputBits = last ? total * 8 : ~0ULL;
  const std::size_t joinedBytes = tailSize_ + joinedFed;
  // Bytes of the window that have 8 bytes after them, or all when the input ends (zeros beyond).
  auto startsIn = [&](std::size_t available) { return last ? available : (available >= 8 ? available - 7 : 0); };
  const std::size_t tailStarts = std::min(tailSize_, startsIn(joinedBytes));
  Scan(joined, tailStarts, fed_ - tailSize_, inputBits, found_);
  if (tailStarts < tailSize_) {
    // Too few bytes yet for the rest of the tail's starts: keep them for the next feed.
    std::memmove(tail_.data(), joined + tailStarts, joinedBytes - tailStarts);
    tailSize_ = joinedBytes - tailStarts;
    fed_ = total;
    return;
  }

  const std::size_t starts = startsIn(size);
  if (last && size > 0) {
    // The last 7 bytes are scanned in a padded copy.
    const std::size_t safe = size >= 7 ? size - 7 : 0;
    Scan(data, safe, fed_, inputBits, found_);
    unsigned char padded[7 + 8] = {};
    std::memcpy(padded, data + safe, size - safe);
    Scan(padded, size - safe, fed_ + safe, inputBits, found_);
  } else {
    Scan(data, starts, fed_, inputBits, found_);
  }
  tailSize_ = size - starts;
  if (tailSize_ > 0) std::memcpy(tail_.data(), data + starts, tailSize_);
  fed_ = total;
}

std::uint32_t ReadBits(const unsigned char* data, std::uint64_t bit, unsigned count) {
  std::uint64_t value = 0;
  const std::uint64_t first = bit / 8;
  const unsigned skip = static_cast<unsigned>(bit % 8);
  const unsigned bytes = (skip + count + 7) / 8;
  for (unsigned i = 0; i < bytes; ++i) value = (value << 8) | data[first + i];
  value >>= bytes * 8 - skip - count;
  return static_cast<std::uint32_t>(value & ((1ULL << count) - 1));
}

std::string WrapBlock(const unsigned char* data, std::uint64_t beginBit, std::uint64_t endBit, char level) {
  const std::uint64_t bits = endBit - beginBit;
  std::string out;
  out.reserve(4 + bits / 8 + 12);
  out += "BZh";
  out += level;
  // The block's whole bytes, shifted into place.
  const std::size_t first = beginBit / 8;
  const unsigned shift = static_cast<unsigned>(beginBit % 8);
  const std::uint64_t whole = bits / 8;
  if (shift == 0) {
    out.append(reinterpret_cast<const char*>(data + first), whole);
  } else {
    for (std::uint64_t i = 0; i < whole; ++i)
      out += static_cast<char>((data[first + i] << shift) | (data[first + i + 1] >> (8 - shift)));
  }
  // The block's last bits, the end magic and the block's CRC, bit by bit.
  std::uint64_t pending = 0;
  unsigned pendingBits = 0;
  auto put = [&](std::uint64_t value, unsigned count) {
    for (unsigned i = count; i-- > 0;) {
      pending = (pending << 1) | ((value >> i) & 1);
      if (++pendingBits == 8) {
        out += static_cast<char>(pending);
        pending = 0;
        pendingBits = 0;
      }
    }
  };
  const unsigned rest = static_cast<unsigned>(bits % 8);
  if (rest > 0) put(ReadBits(data, beginBit + whole * 8, rest), rest);
  put(kEndMagic, 48);
  put(ReadBits(data, beginBit + 48, 32), 32);
  if (pendingBits > 0) out += static_cast<char>(pending << (8 - pendingBits));
  return out;
}

}  // namespace bzip2_blocks
