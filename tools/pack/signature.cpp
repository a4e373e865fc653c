#include "signature.h"

#include <array>
#include <cstring>
#include <optional>
#include <string_view>

namespace pack {
namespace {

std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// Pads `bytes` as both hashes do: 0x80, zeros, the bit length big-endian.
std::string Padded(const std::string& bytes) {
  std::string data = bytes;
  const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
  data += '\x80';
  while (data.size() % 64 != 56) data += '\0';
  for (int i = 7; i >= 0; --i) data += static_cast<char>(bits >> (i * 8));
  return data;
}

std::uint32_t Be32(const std::string& data, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

template <std::size_t N>
std::string Digest(const std::array<std::uint32_t, N>& state) {
  std::string out;
  for (const std::uint32_t word : state)
    for (int i = 3; i >= 0; --i) out += static_cast<char>(word >> (i * 8));
  return out;
}

std::uint32_t Le32(std::string_view data, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
  return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
std::uint16_t Le16(std::string_view data, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// One DER element: its tag and where its content lies.
struct Der {
  unsigned char tag = 0;
  std::string_view content;
};

// Reads the element at the start of `data` and moves past it.
std::optional<Der> ReadDer(std::string_view& data) {
  if (data.size() < 2) return std::nullopt;
  Der element;
  element.tag = static_cast<unsigned char>(data[0]);
  std::size_t length = static_cast<unsigned char>(data[1]), header = 2;
  if (length & 0x80) {
    const std::size_t bytes = length & 0x7F;
    if (bytes == 0 || bytes > 4 || data.size() < 2 + bytes) return std::nullopt;
    length = 0;
    for (std::size_t i = 0; i < bytes; ++i) length = (length << 8) | static_cast<unsigned char>(data[2 + i]);
    header += bytes;
  }
  if (data.size() - header < length) return std::nullopt;
  element.content = data.substr(header, length);
  data.remove_prefix(header + length);
  return element;
}

// The `index`th element inside constructed `element`, of tag `tag`.
std::optional<Der> Child(const Der& element, std::size_t index, unsigned char tag) {
  std::string_view rest = element.content;
  for (std::size_t i = 0;; ++i) {
    const std::optional<Der> child = ReadDer(rest);
    if (!child) return std::nullopt;
    if (i == index) return child->tag == tag ? child : std::nullopt;
  }
}

constexpr std::string_view kOidSpcIndirectData("\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x04", 10);
constexpr std::string_view kOidSha256("\x60\x86\x48\x01\x65\x03\x04\x02\x01", 9);
constexpr std::string_view kOidSha1("\x2B\x0E\x03\x02\x1A", 5);

struct SignedDigest {
  std::string algorithm;
  std::string digest;
};

// The message digest of the SpcIndirectDataContent in PKCS#7 `signedData`.
std::optional<SignedDigest> FindSignedDigest(std::string_view signedData) {
  constexpr unsigned char kSequence = 0x30, kSet = 0x31, kOid = 0x06, kOctets = 0x04, kExplicit0 = 0xA0, kInt = 0x02;
  const std::optional<Der> root = ReadDer(signedData);
  if (!root || root->tag != kSequence) return std::nullopt;
  const auto wrapper = Child(*root, 1, kExplicit0);
  const auto signedContent = wrapper ? Child(*wrapper, 0, kSequence) : std::nullopt;
  if (!signedContent || !Child(*signedContent, 0, kInt) || !Child(*signedContent, 1, kSet)) return std::nullopt;
  const auto contentInfo = Child(*signedContent, 2, kSequence);
  const auto type = contentInfo ? Child(*contentInfo, 0, kOid) : std::nullopt;
  if (!type || type->content != kOidSpcIndirectData) return std::nullopt;
  const auto content = Child(*contentInfo, 1, kExplicit0);
  const auto indirect = content ? Child(*content, 0, kSequence) : std::nullopt;
  const auto digestInfo = indirect ? Child(*indirect, 1, kSequence) : std::nullopt;
  const auto algorithm = digestInfo ? Child(*digestInfo, 0, kSequence) : std::nullopt;
  const auto algorithmOid = algorithm ? Child(*algorithm, 0, kOid) : std::nullopt;
  const auto digest = digestInfo ? Child(*digestInfo, 1, kOctets) : std::nullopt;
  if (!algorithmOid || !digest) return std::nullopt;
  if (algorithmOid->content == kOidSha256) return SignedDigest{"SHA-256", std::string(digest->content)};
  if (algorithmOid->content == kOidSha1) return SignedDigest{"SHA-1", std::string(digest->content)};
  return SignedDigest{"an unsupported digest algorithm", std::string(digest->content)};
}

}  // namespace

std::string Sha1(const std::string& bytes) {
  std::array<std::uint32_t, 5> h{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  const std::string data = Padded(bytes);
  for (std::size_t block = 0; block < data.size(); block += 64) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i) w[i] = Be32(data, block + 4 * i);
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
  return Digest(h);
}

std::string Sha256(const std::string& bytes) {
  static constexpr std::uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98,
      0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
      0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8,
      0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
      0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819,
      0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
      0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
      0xc67178f2};
  std::array<std::uint32_t, 8> h{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  const std::string data = Padded(bytes);
  for (std::size_t block = 0; block < data.size(); block += 64) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) w[i] = Be32(data, block + 4 * i);
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
  return Digest(h);
}

SignatureCheck CheckSignature(ByteSource& package, const PackageLayout& layout) {
  SignatureCheck check;
  const std::string header = package.ReadString(0, std::min<std::uint64_t>(layout.payloadStart, 4096));
  if (header.size() < 0x40 || Le32(header, 0x3C) > header.size() - 0x78) {
    if (layout.signatureSize) check.fault = "the image has no PE header to hold a certificate table";
    return check;
  }
  const std::size_t pe = Le32(header, 0x3C);
  const std::size_t optional = pe + 24;
  const std::uint16_t magic = Le16(header, optional);
  const std::size_t checksumAt = optional + 64;
  const std::size_t countAt = optional + (magic == 0x20B ? 108 : 92);
  const std::size_t directoryAt = optional + (magic == 0x20B ? 112 : 96) + 4 * 8;
  if (std::memcmp(header.data() + pe, "PE\0\0", 4) != 0 || (magic != 0x10B && magic != 0x20B) ||
      directoryAt + 8 > header.size() || Le32(header, countAt) < 5) {
    if (layout.signatureSize) check.fault = "the image has no certificate-table entry";
    return check;
  }
  const std::uint32_t tableOffset = Le32(header, directoryAt), tableSize = Le32(header, directoryAt + 4);
  const std::uint64_t trailerEnd = layout.fileSize - layout.signatureSize;
  const std::uint64_t aligned = (trailerEnd + 7) / 8 * 8;
  if (layout.signatureSize == 0) {
    if (tableOffset || tableSize) check.fault = "the certificate-table entry names bytes the package does not have";
    return check;
  }
  if (tableOffset == 0 && tableSize == 0) {
    check.fault = std::to_string(layout.signatureSize) +
                  " bytes after the end-marker line are not a signature: the image's certificate-table entry is "
                  "empty (bytes appended after the package?)";
    return check;
  }
  if (tableOffset != aligned || std::uint64_t{tableOffset} + tableSize != layout.fileSize) {
    check.fault = "the certificate-table entry (offset " + std::to_string(tableOffset) + ", " +
                  std::to_string(tableSize) + " bytes) does not cover exactly the " +
                  std::to_string(layout.fileSize - aligned) + " bytes after the end-marker line at offset " +
                  std::to_string(aligned);
    return check;
  }
  const std::string padding = package.ReadString(trailerEnd, static_cast<std::size_t>(aligned - trailerEnd));
  if (padding.find_first_not_of('\0') != std::string::npos) {
    check.fault = "the alignment before the certificate table holds bytes other than zero";
    return check;
  }
  const std::string table = package.ReadString(tableOffset, tableSize);
  std::optional<SignedDigest> signedDigest;
  for (std::size_t at = 0; at < table.size();) {
    if (table.size() - at < 8) {
      check.fault = "the certificate table ends inside a record header";
      return check;
    }
    const std::uint32_t length = Le32(table, at);
    const std::uint16_t revision = Le16(table, at + 4), type = Le16(table, at + 6);
    if (length < 8 || length > table.size() - at) {
      check.fault = "certificate record " + std::to_string(check.certificates + 1) + " has a length of " +
                    std::to_string(length) + " bytes, outside the table";
      return check;
    }
    if (revision != 0x0200 || type != 0x0002) {
      check.fault = "certificate record " + std::to_string(check.certificates + 1) +
                    " is not PKCS#7 signed data (revision " + std::to_string(revision) + ", type " +
                    std::to_string(type) + ")";
      return check;
    }
    if (!signedDigest) signedDigest = FindSignedDigest(std::string_view(table).substr(at + 8, length - 8));
    ++check.certificates;
    at += (length + 7u) / 8 * 8;
  }
  check.signed_ = true;
  if (!signedDigest) {
    check.fault = "the certificate table holds no Authenticode digest";
    return check;
  }
  check.digestAlgorithm = signedDigest->algorithm;
  // Everything before the table, without the checksum and the table's entry.
  std::string hashed = package.ReadString(0, tableOffset);
  hashed.erase(directoryAt, 8);
  hashed.erase(checksumAt, 4);
  if (signedDigest->algorithm == "SHA-256")
    check.digestMatches = Sha256(hashed) == signedDigest->digest;
  else if (signedDigest->algorithm == "SHA-1")
    check.digestMatches = Sha1(hashed) == signedDigest->digest;
  else
    check.fault = "the signature uses " + signedDigest->algorithm;
  if (check.fault.empty() && !check.digestMatches)
    check.fault = "the package changed after signing: its " + check.digestAlgorithm +
                  " image hash does not match the signed digest";
  return check;
}

}  // namespace pack
