#pragma once
// Files and folders by UTF-8 path.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// fopen with a UTF-8 path; nullptr on failure. The caller closes the stream.
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
// An open C stream that is closed when its owner goes; for streams whose
// close result does not matter (reading, probing).
using FileStream = std::unique_ptr<std::FILE, FileCloser>;

bool DeleteFileUtf8(const std::string& path);

// The low 32 bits of the file's size as its directory entry gives it; none
// when the file cannot be found.
std::optional<std::uint32_t> DirectoryEntrySize(const std::string& path);

// The running program's own path (at most 259 characters); empty on failure.
std::string OwnModulePath();

// The temporary folder, ending in a backslash; empty on failure.
std::string TempFolder();

// Calls `visit` with the name of each entry matching `pattern` (such as
// "C:\dir\*") and whether it is a folder, in the order the system returns
// them; false when the search cannot be started.
bool ForEachDirectoryEntry(const std::string& pattern,
                           const std::function<void(const std::string& name, bool folder)>& visit);

bool RemoveFolderUtf8(const std::string& path);

// Whether two paths are the same text apart from letter case.
bool SamePathIgnoringCase(const std::string& left, const std::string& right);
