#include "payload.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "files.h"
#include "names.h"

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
  Walker(const std::filesystem::path& root, std::size_t destinationRoom, LinkPolicy links, Payload& payload)
      : root_(root), links_(links), payload_(payload) {
    std::error_code error;
    canonicalRoot_ = std::filesystem::canonical(root, error);
    maxUnits_ = destinationRoom + 1 < kMaxInstallerPath ? kMaxInstallerPath - destinationRoom - 1 : 0;
    destinationRoom_ = destinationRoom;
  }

  // Walks `folder` (`name` is its entry name, empty for the root).
  void Walk(const std::filesystem::path& folder, const std::string& name) {
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error), end;
    bool empty = true;
    for (; !error && it != end; it.increment(error)) {
      empty = false;
      Visit(*it, name);
    }
    if (error)
      payload_.errors.push_back("cannot list " + Shown(name.empty() ? std::string(".") : name) + ": " +
                                error.message());
    else if (empty && !name.empty())
      payload_.warnings.push_back("empty folder " + Shown(name) + " is left out: the archive holds files only");
  }

 private:
  static std::string Shown(const std::string& name) { return "\"" + Escaped(name) + "\""; }

  // Asks the directory entry, which holds the type the listing gave, so
  // that a plain file costs no status call here.
  void Visit(const std::filesystem::directory_entry& entry, const std::string& parentName) {
    const std::filesystem::path& path = entry.path();
    const std::string component = ComponentText(path.filename());
    const std::string name = parentName.empty() ? component : parentName + '\\' + component;
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
    if (directory) {
      Walk(path, name);
      return;
    }
    const bool regular = entry.is_regular_file(error);
    if (error) {
      payload_.errors.push_back(Shown(name) + ": " + error.message());
      return;
    }
    if (!regular) {
      payload_.errors.push_back(Shown(name) + " is not a regular file or folder");
      return;
    }
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
    // Its size is asked for later, for all files at once (MeasureSizes).
    PayloadFile file;
    file.source = path;
    file.entry.name = name;
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
  Payload& payload_;
  std::size_t maxUnits_ = 0, destinationRoom_ = 0;
  std::unordered_map<std::string, std::string> foldedNames_;  // folded name -> first name seen
};

// Fills in each file's size, asking the system for several files at once:
// for many small files the status calls are most of the walk's time. Files
// whose size cannot be read or is 4 GiB or more are dropped with an error,
// in the files' order.
void MeasureSizes(Payload& payload) {
  std::vector<std::optional<std::string>> problems(payload.files.size());
  std::vector<std::uint64_t> sizes(payload.files.size());
  std::atomic<std::size_t> next = 0;
  auto measure = [&] {
    constexpr std::size_t kBatch = 256;
    for (std::size_t start; (start = next.fetch_add(kBatch)) < payload.files.size();) {
      for (std::size_t i = start; i < std::min(start + kBatch, payload.files.size()); ++i) {
        const PayloadFile& file = payload.files[i];
        std::error_code error;
        sizes[i] = std::filesystem::file_size(file.source, error);
        if (error)
          problems[i] = "\"" + Escaped(file.entry.name) + "\": cannot read its size: " + error.message();
        else if (sizes[i] > kMaxFileSize)
          problems[i] = "\"" + Escaped(file.entry.name) + "\": " + std::to_string(sizes[i]) +
                        " bytes; files must be smaller than 4 GiB";
      }
    }
  };
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < threads && payload.files.size() > 1000; ++i) helpers.emplace_back(measure);
  measure();
  for (std::thread& helper : helpers) helper.join();

  std::size_t kept = 0;
  for (std::size_t i = 0; i < payload.files.size(); ++i) {
    if (problems[i]) {
      payload.errors.push_back(*problems[i]);
      continue;
    }
    payload.files[i].entry.size = static_cast<std::uint32_t>(sizes[i]);
    payload.totalBytes += sizes[i];
    if (kept != i) payload.files[kept] = std::move(payload.files[i]);
    ++kept;
  }
  payload.files.resize(kept);
}

}  // namespace

Payload CollectPayload(const std::filesystem::path& folder, std::size_t destinationRoom, LinkPolicy links) {
  Payload payload;
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    payload.errors.push_back("payload folder " + Quoted(folder) + " does not exist or is not a folder" +
                             (error ? ": " + error.message() : std::string()));
    return payload;
  }
  Walker(folder, destinationRoom, links, payload).Walk(folder, "");
  MeasureSizes(payload);
  if (payload.files.empty() && payload.errors.empty())
    payload.errors.push_back("payload folder " + Quoted(folder) + " holds no files");

  std::sort(payload.files.begin(), payload.files.end(),
            [](const PayloadFile& a, const PayloadFile& b) { return a.entry.name < b.entry.name; });
  return payload;
}

}  // namespace pack
