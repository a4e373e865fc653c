#include "try/tree_snapshot.h"

#include <algorithm>
#include <set>
#include <system_error>

namespace quenlith_try {
namespace fs = std::filesystem;

TreeSnapshot SnapshotTree(const fs::path& root, const std::vector<std::string>& skip, const fs::path& linksWithin) {
  TreeSnapshot snapshot;
  std::error_code error;
  if (!fs::is_directory(root, error)) return snapshot;
  const std::set<std::string> skipped(skip.begin(), skip.end());
  const fs::path within = linksWithin.empty() ? fs::path() : fs::weakly_canonical(linksWithin, error);
  std::set<fs::path> visited = {fs::weakly_canonical(root, error)};
  // Folders still to list, by their path relative to the root.
  std::vector<std::string> pending = {""};
  while (!pending.empty()) {
    const std::string folder = pending.back();
    pending.pop_back();
    std::vector<fs::directory_entry> entries;
    for (const auto& entry : fs::directory_iterator(root / folder, fs::directory_options::skip_permission_denied, error))
      entries.push_back(entry);
    std::sort(entries.begin(), entries.end());
    for (const fs::directory_entry& entry : entries) {
      const std::string relative = folder.empty() ? entry.path().filename().string()
                                                  : folder + "/" + entry.path().filename().string();
      if (skipped.count(relative)) continue;
      std::error_code entryError;
      const fs::file_status status = entry.symlink_status(entryError);
      if (entryError) continue;
      FileState state;
      if (fs::is_symlink(status) && !within.empty()) {
        // A folder Wine links elsewhere (the user's desktop into HOME): walked
        // once, under the first name that leads there, when it lies inside `within`.
        const fs::path target = fs::weakly_canonical(entry.path(), entryError);
        const auto [inside, end] = std::mismatch(within.begin(), within.end(), target.begin(), target.end());
        if (!entryError && fs::is_directory(target, entryError) && inside == within.end() &&
            visited.insert(target).second) {
          state.folder = true;
          snapshot[relative] = state;
          pending.push_back(relative);
          continue;
        }
      }
      if (fs::is_directory(status)) {
        if (!visited.insert(fs::weakly_canonical(entry.path(), entryError)).second) continue;
        state.folder = true;
        pending.push_back(relative);
      } else if (fs::is_regular_file(status)) {
        state.size = entry.file_size(entryError);
        state.written = entry.last_write_time(entryError);
        if (entryError) continue;  // gone while we looked: not a file the run left
      }
      snapshot[relative] = state;
    }
    error.clear();
  }
  return snapshot;
}

std::vector<std::string> WrittenFiles(const TreeSnapshot& before, const TreeSnapshot& after) {
  std::vector<std::string> written;
  for (const auto& [path, state] : after) {
    if (state.folder) continue;
    const auto old = before.find(path);
    if (old == before.end() || old->second.size != state.size || old->second.written != state.written)
      written.push_back(path);
  }
  return written;
}

namespace {

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool FolderExisted(const TreeSnapshot& snapshot, const std::string& folder) {
  if (folder.empty()) return true;
  const auto it = snapshot.find(folder);
  return it != snapshot.end() && it->second.folder;
}

}  // namespace

std::vector<WrittenGroup> GroupWrittenFiles(const TreeSnapshot& before, const TreeSnapshot& after,
                                            const std::vector<std::string>& written) {
  std::map<std::string, WrittenGroup> groups;
  for (const std::string& path : written) {
    // Climb from the file's folder while the folder is new: the last new one is the tree's root.
    std::string folder = ParentOf(path);
    bool isNew = false;
    while (!folder.empty() && !FolderExisted(before, folder)) {
      isNew = true;
      const std::string parent = ParentOf(folder);
      if (!FolderExisted(before, parent)) {
        folder = parent;
        continue;
      }
      break;
    }
    WrittenGroup& group = groups[folder];
    group.folder = folder;
    group.newFolder = isNew;
    group.files += 1;
    group.bytes += after.at(path).size;
  }
  std::vector<WrittenGroup> result;
  for (auto& [folder, group] : groups) result.push_back(group);
  return result;
}

}  // namespace quenlith_try
