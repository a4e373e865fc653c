#include "destination/destination.h"

#include <shlobj.h>

#include "messages/exit_codes.h"
#include "platform/guards.h"
#include "log/setup_log.h"
#include "destination/destination_rules.h"
#include "platform/paths.h"
#include "messages/messages.h"
#include "user/user_context.h"
#include "destination/validation.h"
#include "platform/shell.h"
#include "platform/text.h"

std::string ProgramDataLocation() {
  const std::optional<std::string> common = ShellFolderPath(CSIDL_COMMON_APPDATA, nullptr);
  if (!common) return {};
  const std::optional<std::string> product = JoinFolder(*common, "Quenlith");
  const std::optional<std::string> bin = product ? JoinFolder(*product, "bin") : std::nullopt;
  return bin.value_or(std::string());
}

std::string ProgramFilesLocation() { return JoinFolder(ProgramFilesFolder(), "Quenlith").value_or(std::string()); }

std::string ProgramFilesFolder() {
  RegistryKey key;
  wchar_t value[MAX_PATH] = L"";
  DWORD size = sizeof value - sizeof(wchar_t);
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ,
                    key.receive()) == ERROR_SUCCESS &&
      RegQueryValueExW(key.get(), L"ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
          ERROR_SUCCESS)
    return Utf8FromWide(std::wstring_view(value, size / sizeof(wchar_t))).c_str();
  return "C:\\Program Files";
}

std::string FindPreviousInstallation(HKEY root, const std::string& title) {
  std::string subKey = UninstallKeyPath(title);
  if (subKey.empty() || Utf16Length(subKey) > kMaxPathLength) return {};
  if (root == HKEY_CURRENT_USER) {
    root = UserRegistryRoot();
    subKey = UserKeyPath(subKey);
  }
  LOG_NORMAL("Searching for previous installation at \"{}\".", subKey);
  RegistryKey key;
  if (RegOpenKeyExW(root, WideFromUtf8(subKey).c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return {};
  wchar_t value[261] = L"";
  DWORD size = 520;
  if (RegQueryValueExW(key.get(), L"UninstallString", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS)
    return {};
  // Terminated: the buffer holds one character more than read.
  const std::string folder = PreviousInstallationFolder(Utf8FromWide(value));
  return Utf16Length(folder) > kMaxPathLength ? std::string() : folder;
}

std::string DefaultDestination(const InstallerConfig& config) {
  std::string base;
  if (config.destinationProgramFiles != 0) {
    base = ProgramFilesFolder();
  } else if (config.destinationProgramData != 0) {
    base = ProgramDataLocation();
  } else if (config.destinationQuenlith != 0) {
    base = FindPreviousInstallation(HKEY_LOCAL_MACHINE, UninstallTitle(config));
    if (base.empty()) base = FindPreviousInstallation(HKEY_CURRENT_USER, UninstallTitle(config));
    if (base.empty()) base = ProgramFilesLocation();
  }
  if (config.destinationDirectoryCreate != 0 && !base.empty())
    base = JoinFolder(base, config.destinationDirectoryTitle).value_or(base);
  return base;
}

bool AcceptDiskSpace(const InstallerConfig& config, const std::string& path, HWND owner) {
  const SpaceCheck space = CheckDiskSpace(path, InstalledSize(config));
  if (!space.enough &&
      (owner == nullptr ||
       SetupMessageBox(owner,
                       "There does not appear to be enough space available at this location to install Quenlith. "
                       "Proceed anyway?",
                       "Insufficient disk space", MB_YESNO, IDNO) == IDNO)) {
    LOG_WARNING("Exiting, no disk space available.");
    return false;
  }
  return true;
}

bool AcceptDirectory(const std::string& path, HWND owner) {
  switch (CreateAndValidateDirectory(path)) {
    case DirectoryCheck::kReady:
      return true;
    case DirectoryCheck::kNoParent:
      SetupMessageBox(owner, "Unable to create directory, please change.", "Unable to create directory", MB_OK);
      break;
    case DirectoryCheck::kCannotCreate:
      SetupMessageBox(owner, path, "Unable to create directory", MB_OK);
      break;
    case DirectoryCheck::kNotWritable:
      break;
  }
  LOG_WARNING("Exiting, unable to validate directory.");
  return false;
}

ExitCode ValidateChosenDestination(const InstallerConfig& config, const std::string& path, HWND owner) {
  if (!AcceptDiskSpace(config, path, owner)) return kExitNoDiskSpace;
  return AcceptDirectory(path, owner) ? kExitSuccess : kExitNotWritable;
}

ExitCode ChooseSilentDestination(const InstallerConfig& config, std::string& destination) {
  destination = TrimTrailingBlanks(DefaultDestination(config));
  LOG_NORMAL("Destination directory is {}", destination);
  return ValidateChosenDestination(config, destination, nullptr);
}

bool ChooseAutomaticDestination(HWND window, const InstallerConfig& config, const CommandLine& commandLine,
                                std::string& destination) {
  LOG_NORMAL("UI-based installation will automatically choose destination.");
  destination = TrimTrailingBlanks(DefaultDestination(config));
  LOG_NORMAL("Destination is \"{}\".", destination);
  if (const std::optional<std::string> location = commandLine.Location()) {
    // A longer path would have to be cut into a different folder.
    if (Utf16Length(*location) > kMaxPathLength) {
      LOG_WARNING("Exiting, the destination \"{}\" is too long.", *location);
      return false;
    }
    destination = TrimTrailingBlanks(*location);
    LOG_NORMAL("Destination was overridden via command line to \"{}\".", destination);
  }
  return ValidateChosenDestination(config, destination, window) == kExitSuccess;
}

void DecideLocationPrompt(InstallerConfig& config) {
  LOG_NORMAL("Determining if location prompt should be shown.");
  std::string previous = FindPreviousInstallation(HKEY_LOCAL_MACHINE, UninstallTitle(config));
  if (previous.empty()) previous = FindPreviousInstallation(HKEY_CURRENT_USER, UninstallTitle(config));
  if (previous.empty()) {
    LOG_NORMAL("No previous installation found.");
    return;
  }
  LOG_NORMAL("Previous installation is located at \"{}\".", previous);
  switch (ClassifyPreviousInstallation(previous, ProgramFilesLocation(), ProgramDataLocation())) {
    case PreviousInstallation::kProgramFiles:
      LOG_NORMAL("Existing copy installed to program files, allowing program data override.");
      break;
    case PreviousInstallation::kProgramData:
      LOG_NORMAL("Existing copy installed to program data, will continue this location.");
      break;
    case PreviousInstallation::kElsewhere:
      config.destinationProgramData = 0;
      config.destinationQuenlith = 1;
      config.destinationAuto = 0;
      LOG_NORMAL("Existing copy installed elsewhere, showing location prompt.");
      break;
    case PreviousInstallation::kNone:
      break;
  }
}
