#pragma once
// The resources of a Windows executable as far as the builder's checks need
// them: where a resource's data lies, and the texts of the version resource
// as the system's version functions hand them to the installer's version
// check (GetFileVersionInfo, then VerQueryValue of
// "\VarFileInfo\Translation" and "\StringFileInfo\<lang><codepage>\<name>").
// Reads from the bytes given (the whole file) and never past them; every
// answer is "none" rather than a guess when something lies outside. Needs no
// Windows API.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pe {

inline constexpr std::uint16_t kVersionResourceType = 16;  // RT_VERSION
inline constexpr std::uint16_t kVersionResourceId = 1;     // VS_VERSION_INFO, the one GetFileVersionInfo loads

// Where a resource's bytes lie in the file.
struct ResourceData {
  std::uint64_t offset = 0;  // file offset
  std::uint32_t size = 0;    // bytes
  bool operator==(const ResourceData&) const = default;
};

// The data of the resource of integer `type` and integer `id`, in the first
// language its directory lists (resources of one language, as programs'
// version resources are, are what the system loads then). None when the
// image has no resource directory or no such resource, or when a directory,
// an entry or the data does not lie wholly within data[0, size).
std::optional<ResourceData> FindResource(const unsigned char* data, std::size_t size, std::uint16_t type,
                                         std::uint16_t id);

// The text, as UTF-8, of string `name` (letter case ignored, as
// VerQueryValue compares) in the string table of the first translation that
// the version resource `version` (VS_VERSIONINFO, version[0, size)) lists
// under "\VarFileInfo\Translation"; up to its terminator or the end of its
// block, a lone surrogate read as U+FFFD. None when there is no translation
// or no such table or string, or a block's length leaves its parent.
std::optional<std::string> VersionString(const unsigned char* version, std::size_t size, std::string_view name);

// The "FileVersion" text of the version resource of the PE file in
// data[0, size): what the installer's version check compares with the
// script's version. None when the file has none.
std::optional<std::string> FileVersionText(const unsigned char* data, std::size_t size);

}  // namespace pe
