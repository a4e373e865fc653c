#pragma once
// Files and folders by UTF-8 path.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

// fopen with a UTF-8 path; nullptr on failure. The caller closes the stream.
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);

bool DeleteFileUtf8(const std::string& path);

// The low 32 bits of the file's size as its directory entry gives it; none
// when the file cannot be found.
std::optional<std::uint32_t> DirectoryEntrySize(const std::string& path);

// The running program's own path (at most 259 characters); empty on failure.
std::string OwnModulePath();

// The temporary folder, ending in a backslash; empty on failure.
std::string TempFolder();
