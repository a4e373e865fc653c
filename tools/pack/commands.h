#pragma once
// The package builder's reading commands.

#include <filesystem>
#include <ostream>

namespace pack {

struct CommandOptions {
  bool json = false;      // one JSON document on `out` instead of the text
  bool progress = false;  // a progress line on standard error (ProgressLine)
};

// Prints the layout, the signature, the script and the file table, after
// decoding the whole payload as an installation would. Returns what stops
// the decoding (damage anywhere in the payload, which an installation meets
// too), or an empty string: a damaged package is still shown, with the
// table as far as it was read, the text ending with a "damage:" line and the
// JSON document carrying it as `damage`. Throws Failure, writing no JSON,
// when the file cannot be read or is not a setup package.
std::string InspectPackage(const std::filesystem::path& package, std::ostream& out, const CommandOptions& options = {});

// Checks the chain of offsets, the image, every bzip2 CRC and the table
// against the data, then prints a summary. Throws Failure with the first
// fault; nothing is written then.
void VerifyPackage(const std::filesystem::path& package, std::ostream& out, const CommandOptions& options = {});

// Unpacks the payload into `folder` (created when missing), after the same
// checks as VerifyPackage apply to what has been read so far.
void ExtractPackage(const std::filesystem::path& package, const std::filesystem::path& folder, std::ostream& out,
                    const CommandOptions& options = {});

}  // namespace pack
