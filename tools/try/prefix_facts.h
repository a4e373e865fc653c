#pragma once
// Reading what a program did to a Wine prefix, from the prefix's files alone:
// snapshots of a folder tree and their difference, Wine's registry files,
// and shell-link (.lnk) files. Needs no Wine and no Windows API.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quenlith_try {

// One file or folder as a snapshot saw it.
struct FileState {
  bool folder = false;
  std::uintmax_t size = 0;
  std::filesystem::file_time_type written;
};

// Every file and folder below a folder, by its path relative to that folder
// ('/' separators). A link is followed only as SnapshotTree says; otherwise
// it is recorded as a file of size 0.
using TreeSnapshot = std::map<std::string, FileState>;

// Takes a snapshot of `root`, leaving out the relative paths in `skip` (and
// everything below them). Links to folders inside `linksWithin` are walked,
// each target once, under the first name (in walking order) that leads
// there; other links are recorded as files. A missing root gives an empty
// snapshot.
TreeSnapshot SnapshotTree(const std::filesystem::path& root, const std::vector<std::string>& skip = {},
                          const std::filesystem::path& linksWithin = {});

// The files (not folders) of `after` that are new or differ in size or write
// time from `before`.
std::vector<std::string> WrittenFiles(const TreeSnapshot& before, const TreeSnapshot& after);

// Written files gathered by where they appeared: the shallowest folder that
// did not exist before (a new tree), or the existing folder that holds them.
struct WrittenGroup {
  std::string folder;  // relative path ('/' separators); empty for the root itself
  bool newFolder = false;
  std::uint64_t files = 0;
  std::uint64_t bytes = 0;
};
std::vector<WrittenGroup> GroupWrittenFiles(const TreeSnapshot& before, const TreeSnapshot& after,
                                            const std::vector<std::string>& written);

// One value of a registry key as Wine's registry file stores it.
struct RegistryValue {
  std::string name;  // empty for the key's default value
  std::string type;  // "REG_SZ", "REG_EXPAND_SZ", "REG_MULTI_SZ", "REG_DWORD", "REG_BINARY", "REG_QWORD", "hex(N)"
  std::string data;  // the text; a DWORD in decimal; other types as Wine's hexadecimal bytes
};

// A Wine registry file (user.reg, system.reg): key path (single backslashes,
// as Windows names it below the file's root) to its values in file order.
// Throws std::runtime_error when the file cannot be read.
using RegistryFile = std::map<std::string, std::vector<RegistryValue>>;
RegistryFile ReadRegistryFile(const std::filesystem::path& path);
// The same, from the file's text.
RegistryFile ParseRegistryText(const std::string& text);

// What a shell link points at.
struct ShellLink {
  std::string target;            // the local path it was made for; empty when the link names none
  std::string arguments;
  std::string workingDirectory;
  std::string description;
  std::string iconLocation;
};

// Reads the Shell Link binary format. None when the bytes are no shell link.
std::optional<ShellLink> ParseShellLink(const std::string& bytes);

}  // namespace quenlith_try
