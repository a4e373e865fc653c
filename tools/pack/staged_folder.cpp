#include "pack/staged_folder.h"

#include <set>
#include <string>

#include "pack/files.h"

namespace pack {
namespace {

constexpr char kStagingName[] = ".quenlith-extract.partial";

// The outermost folder of `folder`'s path that does not exist yet (`folder`
// itself when only it is missing).
std::filesystem::path FirstMissing(const std::filesystem::path& folder) {
  std::filesystem::path missing = folder;
  std::error_code error;
  for (std::filesystem::path parent = folder.parent_path();
       !parent.empty() && parent != missing && !std::filesystem::exists(parent, error); parent = parent.parent_path())
    missing = parent;
  return missing;
}

}  // namespace

StagedFolder::StagedFolder(const std::filesystem::path& folder) : folder_(folder) {
  // Each folder is registered for removal in the same step that makes it, so
  // an interruption removes exactly what this run made.
  WritingStep step;
  std::error_code error;
  folderExisted_ = std::filesystem::exists(folder, error);
  if (!folderExisted_) {
    created_ = FirstMissing(folder);
    std::filesystem::create_directories(folder, error);
    if (error) throw Failure("cannot create " + Quoted(folder) + ": " + error.message());
    removeFolder_.emplace(created_);
  }
  for (unsigned attempt = 0;; ++attempt) {
    staging_ = folder / (kStagingName + (attempt == 0 ? std::string() : "-" + std::to_string(attempt)));
    if (std::filesystem::create_directory(staging_, error)) break;
    if (error) {
      RemoveCreatedFolders();
      throw Failure("cannot create " + Quoted(staging_) + ": " + error.message());
    }
  }
  removeStaging_.emplace(staging_);
}

StagedFolder::~StagedFolder() {
  WritingStep step;
  file_.close();  // an open file cannot be removed everywhere
  std::error_code ignored;
  std::filesystem::remove_all(staging_, ignored);
  if (!placed_) RemoveCreatedFolders();
}

void StagedFolder::RemoveCreatedFolders() {
  if (folderExisted_) return;
  // Only folders left empty: whatever else appeared there meanwhile stays.
  std::error_code ignored;
  for (std::filesystem::path empty = folder_;; empty = empty.parent_path())
    if (!std::filesystem::remove(empty, ignored) || empty == created_ || empty.parent_path() == empty) break;
}

ArchiveParser StagedFolder::Parser() {
  return ArchiveParser([this](const std::vector<archive::Entry>& entries) { Plan(entries); },
                       [this](std::size_t index, std::string_view data) { Write(index, data); },
                       [this](std::size_t index) { Close(index); });
}

void StagedFolder::MoveIntoPlace() {
  // A name met twice was written twice; its later file is the one moved.
  std::set<std::filesystem::path> seen;
  std::vector<const std::filesystem::path*> moves;
  for (const std::filesystem::path& relative : relatives_)
    if (seen.insert(relative).second) moves.push_back(&relative);
  std::error_code error;
  for (const std::filesystem::path* relative : moves) {
    const std::filesystem::path target = folder_ / *relative;
    if (std::filesystem::is_directory(target, error))
      throw Failure("cannot create " + Quoted(target) + ": a folder of that name is in the way");
    for (std::filesystem::path parent = relative->parent_path(); !parent.empty(); parent = parent.parent_path())
      if (std::filesystem::exists(folder_ / parent, error) && !std::filesystem::is_directory(folder_ / parent, error))
        throw Failure("cannot create " + Quoted(target) + ": the file " + Quoted(folder_ / parent) + " is in the way");
  }
  WritingStep step;
  for (const std::filesystem::path* relative : moves) {
    const std::filesystem::path target = folder_ / *relative;
    std::filesystem::create_directories(target.parent_path(), error);
    if (!error) std::filesystem::rename(staging_ / *relative, target, error);
    if (error) throw Failure("cannot create " + Quoted(target) + ": " + error.message());
  }
  std::filesystem::remove_all(staging_, error);
  placed_ = true;
  removeStaging_.reset();
  removeFolder_.reset();
}

void StagedFolder::Plan(const std::vector<archive::Entry>& entries) {
  for (const archive::Entry& entry : entries) {
    // Names were checked by the parser: relative, no "..", no drive.
    std::filesystem::path relative;
    std::size_t start = 0;
    for (std::size_t end; (end = entry.name.find('\\', start)) != std::string::npos; start = end + 1)
      relative /= PathFromUtf8(entry.name.substr(start, end - start));
    relatives_.push_back(relative / PathFromUtf8(entry.name.substr(start)));
  }
}

void StagedFolder::Open(std::size_t index) {
  if (file_.is_open()) return;
  const std::filesystem::path path = staging_ / relatives_[index];
  std::filesystem::create_directories(path.parent_path());
  file_.open(path, std::ios::binary | std::ios::trunc);
  if (!file_) throw Failure("cannot create " + Quoted(folder_ / relatives_[index]) + ": " + LastErrorText());
}

void StagedFolder::Write(std::size_t index, std::string_view data) {
  WritingStep step;
  Open(index);
  file_.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!file_) throw Failure("cannot write " + Quoted(folder_ / relatives_[index]) + ": " + LastErrorText());
}

void StagedFolder::Close(std::size_t index) {
  WritingStep step;
  Open(index);  // a file of 0 bytes has had no data
  file_.close();
  if (!file_) throw Failure("cannot write " + Quoted(folder_ / relatives_[index]) + ": " + LastErrorText());
}

}  // namespace pack
