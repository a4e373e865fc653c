#pragma once
// Checks and prepares the installer executable that a package starts with.

#include <cstdint>
#include <filesystem>
#include <string>

namespace pack {

// The image size of the installer in `bytes`, after checking that it is a PE
// file that ends where its last section's raw data ends and that its
// compiled image size equals that end. Throws Failure naming `path`.
std::uint32_t CheckInstallerImage(const std::string& bytes, const std::filesystem::path& path);

// Build step after linking: stores the file's size in its image-size record.
// Refuses a file that is not a PE image ending at its last section.
void StampInstaller(const std::filesystem::path& path);

}  // namespace pack
