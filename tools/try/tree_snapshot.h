#pragma once
// Snapshots of a folder tree and their difference: what a program wrote
// below a folder, from the files alone. Needs no Wine and no Windows API.

#include <cstdint>
#include <filesystem>
#include <map>
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

}  // namespace quenlith_try
