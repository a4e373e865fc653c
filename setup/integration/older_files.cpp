#include "integration/older_files.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <optional>

#include "etar/uninstall_list.h"
#include "platform/files.h"
#include "log/setup_log.h"
#include "destination/destination.h"
#include "platform/paths.h"

namespace {

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

void RemoveEmptyFolder(const std::string& folder) {
  LOG_NORMAL("Removing empty directory \"{}\".", folder);
  if (!RemoveFolderUtf8(folder)) LOG_WARNING("Unable to remove directory, error \"{}\".", GetLastError());
}

}  // namespace

bool IsInList(const std::string& path, const std::vector<std::string>& list) {
  for (const std::string& entry : list)
    if (SamePathIgnoringCase(entry, path)) return true;
  return false;
}

bool IsFolderEmpty(const std::string& folder) {
  const std::optional<std::string> pattern = JoinPath(folder, "*");
  if (!pattern) return false;
  bool empty = true;
  if (!ForEachDirectoryEntry(*pattern, [&](const std::string& name, bool isFolder) {
        if (!isFolder || !IsDotEntry(name)) empty = false;
      }))
    return false;
  return empty;
}

void RemoveListedFiles(const std::string& folder, const std::vector<std::string>& list) {
  const std::optional<std::string> pattern = JoinPath(folder, "*");
  if (!pattern) {
    LOG_WARNING("Skipping \"{}\": the path is too long.", folder);
    return;
  }
  ForEachDirectoryEntry(*pattern, [&](const std::string& name, bool isFolder) {
    if (isFolder && IsDotEntry(name)) return;
    const std::optional<std::string> path = JoinPath(folder, name);
    if (!path) {
      LOG_WARNING("Skipping \"{}\" in \"{}\": the path is too long.", name, folder);
      return;
    }
    if (isFolder) {
      RemoveListedFiles(*path, list);
      if (IsFolderEmpty(*path)) RemoveEmptyFolder(*path);
    } else if (IsInList(*path, list)) {
      LOG_NORMAL("Removing file \"{}\".", *path);
      if (!DeleteFileUtf8(*path)) LOG_WARNING("Unable to remove file, error \"{}\".", GetLastError());
    }
  });
}

void RemoveOlderFiles(const InstallerConfig& config, const std::string& destination) {
  for (const std::string& name : OlderFilesToDelete(config)) {
    // A name that does not fit is passed over like a file that is not there.
    if (const std::optional<std::string> path = JoinPath(destination, name)) DeleteFileUtf8(*path);
  }
}

void RemoveProgramFilesInstallation(const std::string& title, const std::string& destination) {
  std::string previous = FindPreviousInstallation(HKEY_LOCAL_MACHINE, title);
  if (previous.empty()) previous = FindPreviousInstallation(HKEY_CURRENT_USER, title);
  const std::string programFiles = ProgramFilesLocation();
  LOG_NORMAL("Previous installation {}. Program files {}.", previous, programFiles);
  if (previous.empty() || !SamePathIgnoringCase(previous, programFiles)) return;

  const std::optional<std::string> earlierList = JoinPath(previous, "uninstall.ini");
  if (!earlierList || !FileStream(OpenFileUtf8(*earlierList, "r"))) {
    LOG_NORMAL("Uninstall file does not exist, no removal.");
    return;
  }
  LOG_NORMAL("Uninstall file list exists.");

  const std::string programData = ProgramDataLocation();
  if (programData.empty()) return;
  LOG_NORMAL("Current installation {}. Program data {}.", destination, programData);
  if (!SamePathIgnoringCase(destination, programData)) return;

  LOG_NORMAL("Removing previous installation from program files (\"{}\").", previous);
  std::vector<std::string> list;
  ReadUninstallList(*earlierList, list);
  if (list.empty()) return;
  list.push_back(*earlierList);
  if (const std::optional<std::string> settings = JoinPath(previous, "quenlith.ini")) list.push_back(*settings);
  LOG_NORMAL("Previous installation has {} files to be removed.", list.size());
  RemoveListedFiles(previous, list);
  if (IsFolderEmpty(previous)) RemoveEmptyFolder(previous);
}
