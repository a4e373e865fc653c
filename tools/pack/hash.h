#pragma once
// SHA-1 and SHA-256, fed in pieces of any size: the Authenticode digest of
// a signed package and the content hash of each file `diff` compares.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pack {

// One hash computation. Update any number of times, then Finish once; the
// object is spent after Finish.
class Sha1Hash {
 public:
  void Update(std::string_view bytes);
  std::string Finish();  // the 20-byte digest

 private:
  std::array<std::uint32_t, 5> state_{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  std::string block_;  // bytes of the block not yet complete, fewer than 64
  std::uint64_t length_ = 0;
};

class Sha256Hash {
 public:
  void Update(std::string_view bytes);
  std::string Finish();  // the 32-byte digest

 private:
  std::array<std::uint32_t, 8> state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::string block_;
  std::uint64_t length_ = 0;
};

// The digest of `bytes` at once.
std::string Sha1(std::string_view bytes);
std::string Sha256(std::string_view bytes);

}  // namespace pack
