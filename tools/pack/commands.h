#pragma once
// The package builder's reading commands.

#include <filesystem>
#include <ostream>

namespace pack {

// Prints the layout, the signature size, the script and the file table.
// Throws Failure when the package cannot be read.
void InspectPackage(const std::filesystem::path& package, std::ostream& out);

// Checks the chain of offsets, the image, every bzip2 CRC and the table
// against the data. Throws Failure with the first fault.
void VerifyPackage(const std::filesystem::path& package, std::ostream& out);

// Unpacks the payload into `folder` (created when missing), after the same
// checks as VerifyPackage apply to what has been read so far.
void ExtractPackage(const std::filesystem::path& package, const std::filesystem::path& folder, std::ostream& out);

}  // namespace pack
