#include "main/silent.h"

#include <cstdio>
#include <vector>

#include "exit_codes.h"
#include "files.h"
#include "log/setup_log.h"
#include "main/destination.h"
#include "main/install.h"
#include "main/launch.h"
#include "main/paths.h"
#include "main/product.h"
#include "main/run_state.h"
#include "main/settings.h"
#include "main/version.h"
#include "profile.h"
#include "text.h"

namespace {

// The class is registered narrow, so its messages carry narrow text: the
// default procedure must be the narrow one too, or the title is misread.
LRESULT CALLBACK SilentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

// A hidden message-only window for the install sequence's messages and icon;
// none when its class cannot be registered.
HWND CreateSilentWindow() {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = SilentWindowProc;
  windowClass.hInstance = setupInstance;
  windowClass.lpszClassName = "QUENLITHSILENTINSTALLER";
  if (RegisterClassExA(&windowClass) == 0) return nullptr;
  return CreateWindowExA(0, "QUENLITHSILENTINSTALLER", "Quenlith Silent Installer", 0, 0, 0, 0, 0, HWND_MESSAGE,
                         nullptr, nullptr, nullptr);
}

bool FileOpens(const std::optional<std::string>& path) {
  if (!path) return false;
  std::FILE* file = OpenFileUtf8(*path, "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

// The "FileVersion" text of the first translation of `path`'s version
// resource, normalised; empty when there is none.
std::string InstalledVersion(const std::string& path) {
  const std::wstring widePath = WideFromUtf8(path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(widePath.c_str(), 0, size, data.data())) return {};
  WORD* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
      length < 2 * sizeof(WORD))
    return {};
  wchar_t query[64];
  swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", translation[0], translation[1]);
  wchar_t* text = nullptr;
  if (!VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&text), &length) || length == 0) return {};
  return NormaliseVersionText(Utf8FromWide(text));
}

// Whether shortcuts were already made once for this user; sets the mark.
bool ShortcutsAlreadyConfigured() {
  const std::optional<std::string> settings = UserSettingsFile();
  if (!settings) return false;
  const bool configured = ReadProfileInt(*settings, "Install", "Shortcuts", 0) != 0;
  if (configured)
    LOG_NORMAL("Shortcuts have already been configured according to \"{}\".", *settings);
  else
    LOG_NORMAL("Shortcuts have not been configured according to \"{}\".", *settings);
  WriteProfileValue(*settings, "Install", "Shortcuts", "1");
  return configured;
}

// Compares the copy at the destination with the script's version: none
// when it is older (or cannot be read), so the installation goes on; the
// run's exit code when it is as new or newer.
std::optional<int> CheckInstalledVersion() {
  const std::optional<std::string> program = JoinPath(destinationDir, "quenlith.exe");
  if (!FileOpens(program)) return std::nullopt;
  FileOpens(JoinPath(destinationDir, "basekit.dll"));
  if (!FileOpens(JoinPath(destinationDir, "comms.dll"))) {
    LOG_WARNING("Check version can only find quenlith.exe (no helper files).");
    return std::nullopt;
  }
  const std::string installed = InstalledVersion(*program);
  if (installed.empty()) return std::nullopt;
  LOG_NORMAL("Version comparison {} vs {}", installed, installerConfig.setupCheckVersionMax);
  if (CompareVersions(installed, installerConfig.setupCheckVersionMax)) return std::nullopt;

  // As new or newer: whatever the script offers of the shortcuts and the
  // uninstall entry is made again, once per user; no window counts steps.
  if (!ShortcutsAlreadyConfigured()) CreateShortcutsAndEntry(1, 1, 1, 1, nullptr);
  if (installerConfig.launchAuto != 0) {
    LOG_WARNING("Checked version is newer or equal, launching.");
    LaunchProduct(nullptr);
    return kExitSuccess;
  }
  LOG_WARNING("Checked version is newer or equal, exiting.");
  return kExitUpToDate;
}

}  // namespace

int RunSilent() {
  LOG_NORMAL("Starting silent installation.");
  if (installerConfig.setupCheckIfQuenlithLoaded != 0 && ProductIsRunning()) {
    LOG_WARNING("Exiting, Quenlith is already running.");
    return kExitFailure;
  }
  const int destination = ChooseSilentDestination();
  if (destination != kExitSuccess) return destination;
  if (installerConfig.setupCheckVersion != 0)
    if (const std::optional<int> upToDate = CheckInstalledVersion()) return *upToDate;

  HWND window = CreateSilentWindow();
  const int result =
      RunInstallSequence(installerConfig.setupStartMenu, installerConfig.setupDesktopIcon,
                         installerConfig.setupUninstallInformation, installerConfig.setupStartup, window);
  if (result != kExitSuccess) return result;
  AddAutoInstallPlugins(destinationDir);
  if (installerConfig.launchAuto != 0) LaunchProduct(nullptr);
  gSetupLog.Close();
  return result;
}
