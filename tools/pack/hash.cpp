#include "pack/hash.h"

#include <algorithm>

namespace pack {
namespace {

std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

std::uint32_t Be32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

template <std::size_t N>
std::string Digest(const std::array<std::uint32_t, N>& state) {
  std::string out;
  for (const std::uint32_t word : state)
    for (int i = 3; i >= 0; --i) out += static_cast<char>(word >> (i * 8));
  return out;
}

// Runs `compress` on every whole 64-byte block of `pending` + `bytes`, keeping
// the rest in `pending`.
template <typename Compress>
void Feed(std::string& pending, std::uint64_t& length, std::string_view bytes, Compress compress) {
  length += bytes.size();
  if (!pending.empty()) {
    const std::size_t take = std::min(64 - pending.size(), bytes.size());
    pending.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (pending.size() < 64) return;
    compress(reinterpret_cast<const unsigned char*>(pending.data()));
    pending.clear();
  }
  for (; bytes.size() >= 64; bytes.remove_prefix(64)) compress(reinterpret_cast<const unsigned char*>(bytes.data()));
  pending.assign(bytes);
}

// The padding both hashes end with: 0x80, zeros, the bit length big-endian.
std::string Padding(std::uint64_t length) {
  std::string padding(1, '\x80');
  while ((length + padding.size()) % 64 != 56) padding += '\0';
  for (int i = 7; i >= 0; --i) padding += static_cast<char>((length * 8) >> (i * 8));
  return padding;
}

void Sha1Block(std::array<std::uint32_t, 5>& h, const unsigned char* block) {
  std::uint32_t w[80];
  for (int i = 0; i < 16; ++i) w[i] = Be32(block + 4 * i);
  for (int i = 16; i < 80; ++i) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
  for (int i = 0; i < 80; ++i) {
    std::uint32_t f, k;
    if (i < 20) f = (b & c) | (~b & d), k = 0x5A827999;
    else if (i < 40) f = b ^ c ^ d, k = 0x6ED9EBA1;
    else if (i < 60) f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
    else f = b ^ c ^ d, k = 0xCA62C1D6;
    const std::uint32_t t = Rotl(a, 5) + f + e + k + w[i];
    e = d, d = c, c = Rotl(b, 30), b = a, a = t;
  }
  h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
}

void Sha256Block(std::array<std::uint32_t, 8>& h, const unsigned char* block) {
  static constexpr std::uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98,
      0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
      0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8,
      0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
      0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819,
      0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
      0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
      0xc67178f2};
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i) w[i] = Be32(block + 4 * i);
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t t1 = hh + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
    const std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    hh = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
  }
  h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
}

}  // namespace

void Sha1Hash::Update(std::string_view bytes) {
  Feed(block_, length_, bytes, [this](const unsigned char* block) { Sha1Block(state_, block); });
}

std::string Sha1Hash::Finish() {
  const std::uint64_t length = length_;
  Update(Padding(length));
  return Digest(state_);
}

void Sha256Hash::Update(std::string_view bytes) {
  Feed(block_, length_, bytes, [this](const unsigned char* block) { Sha256Block(state_, block); });
}

std::string Sha256Hash::Finish() {
  const std::uint64_t length = length_;
  Update(Padding(length));
  return Digest(state_);
}

std::string Sha1(std::string_view bytes) {
  Sha1Hash hash;
  hash.Update(bytes);
  return hash.Finish();
}

std::string Sha256(std::string_view bytes) {
  Sha256Hash hash;
  hash.Update(bytes);
  return hash.Finish();
}

}  // namespace pack
