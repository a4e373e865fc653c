#include "pack/payload.h"

#include <algorithm>
#include <system_error>
#include <unordered_map>

#include "pack/files.h"
#include "pack/names.h"

namespace pack {
namespace {

constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFFull;
// Installer paths hold 259 UTF-16 units before their terminator.
constexpr std::size_t kMaxInstallerPath = 259;

// The UTF-8 bytes of one name component as the file system holds them.
std::string ComponentText(const std::filesystem::path& component) {
  const std::u8string bytes = component.u8string();
  return std::string(bytes.begin(), bytes.end());
}

bool IsInside(const std::filesystem::path& inner, const std::filesystem::path& outer) {
  const auto mismatch = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
  return mismatch.first == outer.end();
}

class Walker {
 public:
  Walker(const std::filesystem::path& root, std::size_t destinationRoom, LinkPolicy links, const FileFound& found,
         Payload& payload)
      : root_(root), links_(links), found_(found), payload_(payload) {
    std::error_code error;
    canonicalRoot_ = std::filesystem::canonical(root, error);
    maxUnits_ = destinationRoom + 1 < kMaxInstallerPath ? kMaxInstallerPath - destinationRoom - 1 : 0;
    destinationRoom_ = destinationRoom;
  }

  // Walks `folder` (`name` is its entry name, empty for the root). Each
  // folder's entries are listed first and visited in name order, a folder
  // placed as its name and a backslash: then the files come out in the
  // archive's order, byte by byte over whole entry names, and each can be
  // handed on while the walk goes on.
  void Walk(const std::filesystem::path& folder, const std::string& name) {
    std::vector<Item> items;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error), end;
    bool empty = true;
    for (; !error && it != end; it.increment(error)) {
      empty = false;
      Classify(*it, name, items);
    }
    if (error)
      payload_.errors.push_back("cannot list " + Shown(name.empty() ? std::string(".") : name) + ": " +
                                error.message());
    else if (empty && !name.empty())
      payload_.warnings.push_back("empty folder " + Shown(name) + " is left out: the archive holds files only");
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.key < b.key; });
    for (Item& item : items) {
      if (item.directory)
        Walk(item.path, item.name);
      else
        AddFile(std::move(item));
    }
  }

 private:
  struct Item {
    std::filesystem::path path;
    std::string name;  // entry name
    std::string key;   // the name, with a backslash after a folder's
    bool directory = false;
  };

  static std::string Shown(const std::string& name) { return "\"" + Escaped(name) + "\""; }

  // Checks one entry of a listing and keeps it in `items` when it is a file
  // or a folder to descend into. Asks the directory entry, which holds the
  // type the listing gave, so that a plain file costs no status call here.
  void Classify(const std::filesystem::directory_entry& entry, const std::string& parentName,
                std::vector<Item>& items) {
    const std::filesystem::path& path = entry.path();
    const std::string component = ComponentText(path.filename());
    std::string name = parentName.empty() ? component : parentName + '\\' + component;
    if (!Utf16Length(component)) {
      payload_.errors.push_back(Shown(name) + ": the name is not valid UTF-8");
      return;
    }
    if (component.find('\\') != std::string::npos) {
      payload_.errors.push_back(Shown(name) + ": a backslash in a file or folder name");
      return;
    }
    const std::size_t units = *Utf16Length(name);
    if (name.size() > archive::kMaxNameLength || units > maxUnits_) {
      // Also where the walk stops descending: no deeper name could fit.
      payload_.errors.push_back(Shown(name) + ": name of " + std::to_string(units) + " characters (" +
                                std::to_string(name.size()) + " bytes) would be too long (at most " +
                                std::to_string(std::min(maxUnits_, archive::kMaxNameLength)) + " characters with " +
                                std::to_string(destinationRoom_) + " left for the destination, and at most " +
                                std::to_string(archive::kMaxNameLength) + " bytes)");
      return;
    }

    std::error_code error;
    const bool link = entry.is_symlink(error);
    if (error) {
      payload_.errors.push_back(Shown(name) + ": " + error.message());
      return;
    }
    if (link && !LinkAllowed(path, name)) return;
    // For a link these follow it to its target.
    const bool directory = entry.is_directory(error);
    if (error) {
      payload_.errors.push_back(Shown(name) + ": " + error.message());
      return;
    }
    if (!directory) {
      const bool regular = entry.is_regular_file(error);
      if (error) {
        payload_.errors.push_back(Shown(name) + ": " + error.message());
        return;
      }
      if (!regular) {
        payload_.errors.push_back(Shown(name) + " is not a regular file or folder");
        return;
      }
    }
    std::string key = directory ? name + '\\' : name;
    items.push_back({path, std::move(name), std::move(key), directory});
  }

  // Takes a file into the payload, in archive order, and hands it on.
  void AddFile(Item&& item) {
    const std::string& name = item.name;
    if (const char* problem = archive::EntryNameProblem(name)) {
      payload_.errors.push_back(Shown(name) + ": " + problem);
      return;
    }
    const auto [previous, inserted] = foldedNames_.emplace(FoldedName(name), name);
    if (!inserted) {
      payload_.errors.push_back(Shown(name) + " and " + Shown(previous->second) +
                                " differ only in letter case and would be one file on Windows");
      return;
    }
    std::error_code error;
    const std::uint64_t size = folders_.FileSize(item.path.native(), error);
    if (error) {
      payload_.errors.push_back(Shown(name) + ": cannot read its size: " + error.message());
      return;
    }
    if (size > kMaxFileSize) {
      payload_.errors.push_back(Shown(name) + ": " + std::to_string(size) + " bytes; files must be smaller than 4 GiB");
      return;
    }
    PayloadFile file;
    file.source = std::move(item.path);
    file.entry.name = std::move(item.name);
    file.entry.size = static_cast<std::uint32_t>(size);
    payload_.totalBytes += size;
    if (found_) found_(file);
    payload_.files.push_back(std::move(file));
  }

  // Whether the link at `path` may be followed; reports why not.
  bool LinkAllowed(const std::filesystem::path& path, const std::string& name) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(path, error);
    if (error) {
      payload_.errors.push_back(Shown(name) + " is a link that leads nowhere: " + error.message());
      return false;
    }
    if (std::filesystem::is_directory(target, error)) {
      const std::filesystem::path parent = std::filesystem::canonical(path.parent_path(), error);
      if (!error && IsInside(parent, target)) {
        payload_.errors.push_back(Shown(name) + " is a link to a folder that holds it (a loop)");
        return false;
      }
    }
    if (links_ == LinkPolicy::kFollowAll || IsInside(target, canonicalRoot_)) return true;
    payload_.errors.push_back(Shown(name) + " is a link to " + Quoted(target) +
                              ", outside the payload folder; copy it in, or pass --follow-links");
    return false;
  }

  std::filesystem::path root_, canonicalRoot_;
  LinkPolicy links_;
  const FileFound& found_;
  Payload& payload_;
  std::size_t maxUnits_ = 0, destinationRoom_ = 0;
  std::unordered_map<std::string, std::string> foldedNames_;  // folded name -> first name seen
  FolderCursor folders_;
};

}  // namespace

Payload CollectPayload(const std::filesystem::path& folder, std::size_t destinationRoom, LinkPolicy links,
                       const FileFound& found) {
  Payload payload;
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    payload.errors.push_back("payload folder " + Quoted(folder) + " does not exist or is not a folder" +
                             (error ? ": " + error.message() : std::string()));
    return payload;
  }
  Walker(folder, destinationRoom, links, found, payload).Walk(folder, "");
  if (payload.files.empty() && payload.errors.empty())
    payload.errors.push_back("payload folder " + Quoted(folder) + " holds no files");
  return payload;
}

}  // namespace pack
