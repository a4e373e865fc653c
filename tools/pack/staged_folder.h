#pragma once
// Where `extract` writes: files below a staging folder inside the
// destination, moved into place only when the whole payload has been read
// and checked, so that a damaged package, a failure or an interruption
// leaves the destination as it was (and no destination folder that did not
// exist).

#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

#include "formats/archive.h"
#include "pack/interrupt.h"
#include "pack/package.h"

namespace pack {

class StagedFolder {
 public:
  // Creates `folder` when missing and a staging folder of this run's own in
  // it (".quenlith-extract.partial", or the first free of "...-1", "-2"...,
  // so two runs into one folder never share one). Both are registered for
  // removal on interruption before they are made. Throws Failure naming the
  // folder and the system's reason.
  explicit StagedFolder(const std::filesystem::path& folder);
  // Removes the staging folder, and the destination when it did not exist
  // and nothing was moved into it.
  ~StagedFolder();
  StagedFolder(const StagedFolder&) = delete;
  StagedFolder& operator=(const StagedFolder&) = delete;

  // A parser that writes each file of the archive below the staging folder.
  ArchiveParser Parser();

  // Moves every file into place, after checking that nothing in the
  // destination is in the way (a folder where a file goes, or a file where
  // a folder goes: Failure, and nothing is moved). The moves are renames,
  // done as one writing step: an interruption meanwhile waits for them, and
  // the destination then holds the whole payload. The destination stays
  // from then on.
  void MoveIntoPlace();

 private:
  void Plan(const std::vector<archive::Entry>& entries);
  void Open(std::size_t index);
  void Write(std::size_t index, std::string_view data);
  void Close(std::size_t index);
  // The destination and the folders above it that this run made, when empty.
  void RemoveCreatedFolders();

  std::filesystem::path folder_, staging_;
  std::filesystem::path created_;  // the outermost folder this run made, when the destination was missing
  bool folderExisted_ = false;
  bool placed_ = false;
  std::optional<RemoveOnInterrupt> removeStaging_, removeFolder_;
  std::ofstream file_;
  std::vector<std::filesystem::path> relatives_;  // of each entry, below the staging folder and the destination
  // The clean-up runs once no step is in flight: the file is then closed, so
  // that it can be removed on every system.
  RunOnInterrupt closeOnInterrupt_{[this] { file_.close(); }};
};

}  // namespace pack
