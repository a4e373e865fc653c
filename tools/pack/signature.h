#pragma once
// The code signature a package may end with: the image's certificate table
// (PE data directory 4) and the Authenticode digest it carries.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "formats/pe_image.h"
#include "pack/files.h"
#include "pack/json.h"
#include "pack/package.h"

namespace pack {

// Where signing writes into the image before the payload, read from its
// headers (its first 4,096 bytes).
struct SigningFields {
  std::optional<pe::FileHeader> file;  // none: the image has no PE headers
  std::uint64_t checksumAt = 0;        // file offset of the PE checksum; with `certificateTable` only
  // The certificate-table entry (data directory 4); none when the headers hold none.
  std::optional<pe::DataDirectory> certificateTable;
};
SigningFields ReadSigningFields(ByteSource& package, const PackageLayout& layout);

// Passes bytes [0, end) of `package` to `feed` in pieces of at most 1 MiB,
// leaving out the checksum and the certificate-table entry when `fields`
// name them: the image as an Authenticode digest covers it, the same
// whether it was signed since or not.
void FeedWithoutSigningFields(ByteSource& package, const SigningFields& fields, std::uint64_t end,
                              const std::function<void(std::string_view)>& feed);

struct SignatureCheck {
  // Empty when the bytes after the script's trailer are none or a sound
  // certificate table; otherwise why they are not.
  std::string fault;
  bool signed_ = false;            // a certificate table is present
  std::string digestAlgorithm;     // "SHA-256" or "SHA-1"
  bool digestMatches = false;      // the signed digest equals the image hash now
  std::uint32_t certificates = 0;  // WIN_CERTIFICATE records
};

// Checks that the `layout.signatureSize` bytes at the end of `package` are
// exactly the certificate table the image's directory entry names (after
// at most 7 zero bytes of alignment), that they parse as WIN_CERTIFICATE
// records holding PKCS#7 signed data, and compares the Authenticode digest
// of the signed content with the file's hash now. The certificates
// themselves are not validated.
SignatureCheck CheckSignature(ByteSource& package, const PackageLayout& layout);

// The check as the JSON reports write it: {signed, fault, digestAlgorithm,
// digestMatches, certificates}, with null for an empty fault or algorithm.
void WriteSignatureJson(JsonWriter& json, const SignatureCheck& check);

}  // namespace pack
