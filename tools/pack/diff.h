#pragma once
// Compares two setup packages as installations: the files they install, the
// script keys they set, the installer image and the signature.

#include <filesystem>
#include <ostream>

#include "pack/commands.h"

namespace pack {

// Reads both packages at once, each from a thread of its own through the
// installer's decoder (which runs its own workers under each: one per
// processor, at most 4), hashing every file with SHA-256 as its bytes pass
// (memory bounded by the file tables and the decoder's work), and prints
// the differences: files added, removed and changed, script keys added,
// removed and changed by section, the image and the signature. Returns true
// when the packages install the same: the same files with the same
// contents, the same script keys with the same values and the same image; a
// difference of signature alone is reported but does not count. Throws
// Failure when a package cannot be read; nothing is written then.
bool DiffPackages(const std::filesystem::path& oldPackage, const std::filesystem::path& newPackage,
                  std::ostream& out, const CommandOptions& options = {});

}  // namespace pack
