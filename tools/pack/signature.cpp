#include "pack/signature.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "pack/hash.h"
#include "formats/layout.h"

namespace pack {
namespace {

std::uint32_t Le32(std::string_view data, std::size_t at) {
  return layout::ReadLe32(reinterpret_cast<const unsigned char*>(data.data() + at));
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

// Why the certificate-table `entry` does not name exactly the bytes after
// the script's trailer (after at most 7 zero bytes of alignment); empty when it does.
std::string PlacementFault(ByteSource& package, const PackageLayout& layout, const pe::DataDirectory& entry) {
  const std::uint32_t tableOffset = entry.address, tableSize = entry.size;
  const std::uint64_t trailerEnd = layout.fileSize - layout.signatureSize;
  const std::uint64_t aligned = (trailerEnd + 7) / 8 * 8;
  if (layout.signatureSize == 0)
    return tableOffset || tableSize ? "the certificate-table entry names bytes the package does not have" : "";
  if (tableOffset == 0 && tableSize == 0)
    return std::to_string(layout.signatureSize) +
           " bytes after the end-marker line are not a signature: the image's certificate-table entry is "
           "empty (bytes appended after the package?)";
  if (tableOffset != aligned || std::uint64_t{tableOffset} + tableSize != layout.fileSize)
    return "the certificate-table entry (offset " + std::to_string(tableOffset) + ", " + std::to_string(tableSize) +
           " bytes) does not cover exactly the " + std::to_string(layout.fileSize - aligned) +
           " bytes after the end-marker line at offset " + std::to_string(aligned);
  const std::string padding = package.ReadString(trailerEnd, static_cast<std::size_t>(aligned - trailerEnd));
  if (padding.find_first_not_of('\0') != std::string::npos)
    return "the alignment before the certificate table holds bytes other than zero";
  return {};
}

// Walks the WIN_CERTIFICATE records of `table`, counting them in `check`,
// and returns the first Authenticode digest among them. Sets `check.fault`
// at a record that is not PKCS#7 signed data or does not fit the table.
std::optional<SignedDigest> ReadCertificates(std::string_view table, SignatureCheck& check) {
  std::optional<SignedDigest> signedDigest;
  for (std::size_t at = 0; at < table.size();) {
    if (table.size() - at < 8) {
      check.fault = "the certificate table ends inside a record header";
      return std::nullopt;
    }
    const std::uint32_t length = Le32(table, at);
    const std::uint16_t revision = Le16(table, at + 4), type = Le16(table, at + 6);
    if (length < 8 || length > table.size() - at) {
      check.fault = "certificate record " + std::to_string(check.certificates + 1) + " has a length of " +
                    std::to_string(length) + " bytes, outside the table";
      return std::nullopt;
    }
    if (revision != 0x0200 || type != 0x0002) {
      check.fault = "certificate record " + std::to_string(check.certificates + 1) +
                    " is not PKCS#7 signed data (revision " + std::to_string(revision) + ", type " +
                    std::to_string(type) + ")";
      return std::nullopt;
    }
    if (!signedDigest) signedDigest = FindSignedDigest(table.substr(at + 8, length - 8));
    ++check.certificates;
    at += (length + 7u) / 8 * 8;
  }
  return signedDigest;
}

// Hashes what the signature covers, everything before the table, with the
// digest's algorithm, and compares it with the signed digest.
void CompareDigest(ByteSource& package, const SigningFields& fields, const SignedDigest& signedDigest,
                   SignatureCheck& check) {
  check.digestAlgorithm = signedDigest.algorithm;
  const bool isSha256 = signedDigest.algorithm == "SHA-256";
  if (!isSha256 && signedDigest.algorithm != "SHA-1") {
    check.fault = "the signature uses " + signedDigest.algorithm;
    return;
  }
  Sha1Hash sha1;
  Sha256Hash sha256;
  FeedWithoutSigningFields(package, fields, fields.certificateTable->address,
                           [&](std::string_view piece) { isSha256 ? sha256.Update(piece) : sha1.Update(piece); });
  check.digestMatches = (isSha256 ? sha256.Finish() : sha1.Finish()) == signedDigest.digest;
  if (!check.digestMatches)
    check.fault = "the package changed after signing: its " + check.digestAlgorithm +
                  " image hash does not match the signed digest";
}

}  // namespace

SigningFields ReadSigningFields(ByteSource& package, const PackageLayout& layout) {
  SigningFields fields;
  const std::string header = package.ReadString(0, std::min<std::uint32_t>(layout.payloadStart, 4096));
  const auto* bytes = reinterpret_cast<const unsigned char*>(header.data());
  fields.file = pe::ReadFileHeader(bytes, header.size());
  const auto optional = fields.file ? pe::ReadOptionalHeader(bytes, header.size(), *fields.file) : std::nullopt;
  if (!optional) return fields;
  fields.certificateTable = pe::ReadDataDirectory(bytes, header.size(), *optional, pe::kCertificateDirectory);
  fields.checksumAt = optional->checksumAt;
  return fields;
}

void FeedWithoutSigningFields(ByteSource& package, const SigningFields& fields, std::uint64_t end,
                              const std::function<void(std::string_view)>& feed) {
  // In pieces, so that a large package is never held whole.
  auto feedRange = [&](std::uint64_t from, std::uint64_t to) {
    constexpr std::uint64_t kPiece = 1 << 20;
    for (std::uint64_t at = from; at < to; at += kPiece)
      feed(package.ReadString(at, static_cast<std::size_t>(std::min(kPiece, to - at))));
  };
  std::uint64_t at = 0;
  if (fields.certificateTable) {
    const std::pair<std::uint64_t, std::uint64_t> skipped[] = {
        {fields.checksumAt, fields.checksumAt + 4},
        {fields.certificateTable->entryAt, fields.certificateTable->entryAt + 8}};
    for (const auto& [from, to] : skipped) {
      feedRange(at, std::min(from, end));
      at = std::max(at, to);
    }
  }
  feedRange(at, end);
}

SignatureCheck CheckSignature(ByteSource& package, const PackageLayout& layout) {
  SignatureCheck check;
  const SigningFields fields = ReadSigningFields(package, layout);
  if (!fields.certificateTable) {
    if (layout.signatureSize)
      check.fault = fields.file ? "the image has no certificate-table entry"
                                : "the image has no PE header to hold a certificate table";
    return check;
  }
  check.fault = PlacementFault(package, layout, *fields.certificateTable);
  if (!check.fault.empty() || layout.signatureSize == 0) return check;
  const std::string table = package.ReadString(fields.certificateTable->address, fields.certificateTable->size);
  const std::optional<SignedDigest> signedDigest = ReadCertificates(table, check);
  if (!check.fault.empty()) return check;
  check.signed_ = true;
  if (!signedDigest)
    check.fault = "the certificate table holds no Authenticode digest";
  else
    CompareDigest(package, fields, *signedDigest, check);
  return check;
}

void WriteSignatureJson(JsonWriter& json, const SignatureCheck& check) {
  json.BeginObject();
  json.Field("signed", check.signed_);
  json.TextOrNull("fault", check.fault);
  json.TextOrNull("digestAlgorithm", check.digestAlgorithm);
  json.Field("digestMatches", check.digestMatches);
  json.Field("certificates", check.certificates);
  json.EndObject();
}

}  // namespace pack
