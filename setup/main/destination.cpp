#include "main/destination.h"

#include <shlobj.h>

#include "exit_codes.h"
#include "guards.h"
#include "log/setup_log.h"
#include "main/destination_rules.h"
#include "main/paths.h"
#include "main/run_state.h"
#include "main/user_context.h"
#include "main/validation.h"
#include "shell.h"
#include "text.h"

std::string destinationDir;

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

std::string FindPreviousInstallation(HKEY root) {
  const std::string title =
      installerConfig.setupUninstallInformationTitle.empty() ? "" : installerConfig.setupUninstallInformationTitle[0];
  std::string subKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + title;
  if (subKey.size() > kMaxPathLength) return {};
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
  std::wstring text(value);  // terminated: the buffer holds one character more than read
  if (text.empty()) return {};
  const std::size_t cut = text.rfind(L'\\');
  text = cut == std::wstring::npos ? std::wstring() : text.substr(0, cut);
  if (text.empty() || text.back() != L'\\') text += L'\\';
  const std::string folder = Utf8FromWide(text);
  return folder.size() > kMaxPathLength ? std::string() : folder;
}

std::string DefaultDestination() {
  std::string base;
  if (installerConfig.destinationProgramFiles != 0) {
    base = ProgramFilesFolder();
  } else if (installerConfig.destinationProgramData != 0) {
    base = ProgramDataLocation();
  } else if (installerConfig.destinationQuenlith != 0) {
    base = FindPreviousInstallation(HKEY_LOCAL_MACHINE);
    if (base.empty()) base = FindPreviousInstallation(HKEY_CURRENT_USER);
    if (base.empty()) base = ProgramFilesLocation();
  }
  if (installerConfig.destinationDirectoryCreate != 0 && !base.empty())
    base = JoinFolder(base, installerConfig.destinationDirectoryTitle).value_or(base);
  return base;
}

namespace {

// Checks the space for destinationDir and creates it: 0, or the silent
// run's exit code -4 (no space) or -3 (not writable).
int ValidateChosenDestination(HWND window) {
  if (!CheckDiskSpace(window, destinationDir)) {
    LOG_WARNING("Exiting, no disk space available.");
    return kExitNoDiskSpace;
  }
  if (!CreateAndValidateDirectory(destinationDir, window, false)) {
    LOG_WARNING("Exiting, unable to validate directory.");
    return kExitNotWritable;
  }
  return kExitSuccess;
}

}  // namespace

int ChooseSilentDestination() {
  destinationDir = TrimTrailingBlanks(DefaultDestination());
  LOG_NORMAL("Destination directory is {}", destinationDir);
  return ValidateChosenDestination(nullptr);
}

bool ChooseAutomaticDestination(HWND window) {
  LOG_NORMAL("UI-based installation will automatically choose destination.");
  destinationDir = TrimTrailingBlanks(DefaultDestination());
  LOG_NORMAL("Destination is \"{}\".", destinationDir);
  if (const std::optional<std::string> location = setupCommandLine.Location()) {
    // A longer path would have to be cut into a different folder.
    if (location->size() > kMaxPathLength) {
      LOG_WARNING("Exiting, the destination \"{}\" is too long.", *location);
      return false;
    }
    destinationDir = TrimTrailingBlanks(*location);
    LOG_NORMAL("Destination was overridden via command line to \"{}\".", destinationDir);
  }
  return ValidateChosenDestination(window) == kExitSuccess;
}

void DecideLocationPrompt() {
  LOG_NORMAL("Determining if location prompt should be shown.");
  std::string previous = FindPreviousInstallation(HKEY_LOCAL_MACHINE);
  if (previous.empty()) previous = FindPreviousInstallation(HKEY_CURRENT_USER);
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
      installerConfig.destinationProgramData = 0;
      installerConfig.destinationQuenlith = 1;
      installerConfig.destinationAuto = 0;
      LOG_NORMAL("Existing copy installed elsewhere, showing location prompt.");
      break;
    case PreviousInstallation::kNone:
      break;
  }
}
