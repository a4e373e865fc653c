#pragma once
// The code signature a package may end with: the image's certificate table
// (PE data directory 4) and the Authenticode digest it carries.

#include <cstdint>
#include <string>

#include "pack/files.h"
#include "pack/package.h"

namespace pack {

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

}  // namespace pack
