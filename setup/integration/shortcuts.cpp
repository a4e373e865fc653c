#include "integration/shortcuts.h"

#include <shlobj.h>

#include <cstddef>
#include <vector>

#include "platform/files.h"
#include "log/setup_log.h"
#include "platform/paths.h"
#include "user/user_context.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace {

// The entries of one family of the script, index by index.
struct ShortcutFamily {
  std::int32_t count;
  const std::vector<std::string>& link;
  const std::vector<std::string>& title;
  const std::vector<std::string>& description;
  const std::vector<std::int32_t>& resource;
  const std::vector<std::string>& arguments;
};

template <typename T>
T At(const std::vector<T>& values, std::size_t index, T fallback) {
  return index < values.size() ? values[index] : fallback;
}

struct FamilyFolders {
  std::string user;    // where the shortcuts are written, ending in a backslash
  std::string common;  // where an existing copy suppresses them, ending in a backslash
};

// Both folders of a family, or none (with a WARNING) when either cannot be had.
std::optional<FamilyFolders> Folders(int userFolder, int commonFolder, const char* family) {
  const std::optional<std::string> user = ShellFolderPath(userFolder, ShellUserToken());
  const std::optional<std::string> common = ShellFolderPath(commonFolder, nullptr);
  const std::optional<std::string> userSlash = user ? JoinPath(*user, "") : std::nullopt;
  const std::optional<std::string> commonSlash = common ? JoinPath(*common, "") : std::nullopt;
  if (!userSlash || !commonSlash) {
    LOG_WARNING("Skipping {} shortcuts: the folder cannot be found.", family);
    return std::nullopt;
  }
  return FamilyFolders{*userSlash, *commonSlash};
}

// True (with its log line) when `commonPath` exists and so suppresses `shortcutPath`.
bool DuplicateExists(const std::string& commonPath, const std::string& shortcutPath) {
  if (!DirectoryEntrySize(commonPath)) return false;
  LOG_NORMAL("Skipping shortcut creation due to duplicate found \"{}\" vs \"{}\".", commonPath, shortcutPath);
  return true;
}

void CreateFamily(const ShortcutFamily& family, const FamilyFolders& folders, const std::string& destinationDir) {
  const std::string destination = JoinPath(destinationDir, "").value_or(destinationDir);
  for (std::int32_t i = 0; i < family.count; ++i) {
    const std::size_t index = static_cast<std::size_t>(i);
    const std::string title = At(family.title, index, std::string());
    const std::optional<std::string> commonPath = JoinPath(folders.common, title + ".lnk");
    const std::optional<std::string> target = JoinPath(destination, At(family.link, index, std::string()));
    const std::optional<std::string> shortcutPath = JoinPath(folders.user, title + ".lnk");
    if (!commonPath || !target || !shortcutPath) {
      LOG_WARNING("Skipping shortcut \"{}\": its path is too long.", title);
      continue;
    }
    if (DuplicateExists(*commonPath, *shortcutPath)) continue;
    CreateShellLink(*shortcutPath, destination, *target, At(family.resource, index, -1), *target,
                    At(family.arguments, index, std::string()), At(family.description, index, std::string()));
  }
}

}  // namespace

void CreateShellLink(const std::string& shortcutPath, const std::optional<std::string>& workingDirectory,
                     const std::optional<std::string>& targetPath, int resource,
                     const std::optional<std::string>& iconPath, const std::optional<std::string>& arguments,
                     const std::optional<std::string>& description) {
  const HRESULT result = WriteShellLink(shortcutPath, {targetPath, workingDirectory, description, arguments,
                                                      resource != -1 ? iconPath : std::nullopt});
  if (FAILED(result))
    LOG_WARNING("Failed to create shortcut for \"{}\" ({}).", shortcutPath, static_cast<long>(result));
  else
    LOG_NORMAL("Shortcut successfully created for \"{}\".", shortcutPath);
}

void CreateDesktopShortcuts(const InstallerConfig& c, const std::string& destination) {
  const std::optional<FamilyFolders> folders = Folders(CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, "desktop");
  if (!folders) return;
  CreateFamily({c.setupDesktopIconNum, c.setupDesktopIconLink, c.setupDesktopIconTitle, c.setupDesktopIconDescription,
                c.setupDesktopIconResource, c.setupDesktopIconArguments},
               *folders, destination);
}

void CreateStartMenuShortcuts(const InstallerConfig& c, const std::string& destination) {
  const std::string& folderName = c.setupStartMenuDirectory;
  std::optional<FamilyFolders> folders = Folders(CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS, "start menu");
  if (!folders) return;
  if (!folderName.empty()) {
    const std::optional<std::string> folder = JoinFolder(folders->user, folderName);
    if (!folder) {
      LOG_WARNING("Skipping start menu shortcuts: the folder \"{}\" is too long.", folderName);
      return;
    }
    folders->user = *folder;
    CreateDirectoryW(WideFromUtf8(folders->user).c_str(), nullptr);
  }
  CreateFamily({c.setupStartMenuNum, c.setupStartMenuLink, c.setupStartMenuTitle, c.setupStartMenuDescription,
                c.setupStartMenuResource, c.setupStartMenuArguments},
               *folders, destination);
}

void CreateStartupShortcut(const std::string& destination) {
  const std::optional<FamilyFolders> folders = Folders(CSIDL_STARTUP, CSIDL_COMMON_STARTUP, "startup");
  if (!folders) return;
  const std::optional<std::string> shortcutPath = JoinPath(folders->user, "Quenlith.lnk");
  const std::optional<std::string> target = JoinPath(destination, "Quenlith.exe");
  const std::optional<std::string> commonPath = JoinPath(folders->common, "Quenlith.lnk");
  if (!shortcutPath || !target || !commonPath) {
    LOG_WARNING("Skipping the startup shortcut: its path is too long.");
    return;
  }
  if (DuplicateExists(*commonPath, *shortcutPath)) return;
  CreateShellLink(*shortcutPath, JoinPath(destination, "").value_or(destination), *target, -1, std::nullopt,
                  std::nullopt, std::nullopt);
}
