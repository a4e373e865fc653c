#include "main/silent.h"

#include <cstdio>

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
#include "version_resource.h"

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
std::string InstalledVersion(const std::string& path) { return NormaliseVersionText(FileVersionText(path)); }

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

// Compares the copy at the destination with the script's version; returns
// when it is older (or cannot be read), ends the run when it is as new or newer.
void CheckInstalledVersion() {
  const std::optional<std::string> program = JoinPath(destinationDir, "quenlith.exe");
  if (!FileOpens(program)) return;
  FileOpens(JoinPath(destinationDir, "basekit.dll"));
  if (!FileOpens(JoinPath(destinationDir, "comms.dll"))) {
    LOG_WARNING("Check version can only find quenlith.exe (no helper files).");
    return;
  }
  const std::string installed = InstalledVersion(*program);
  if (installed.empty()) return;
  LOG_NORMAL("Version comparison {} vs {}", installed, installerConfig.setupCheckVersionMax);
  if (CompareVersions(installed, installerConfig.setupCheckVersionMax)) return;

  // As new or newer: whatever the script offers of the shortcuts and the
  // uninstall entry is made again, once per user; no window counts steps.
  if (!ShortcutsAlreadyConfigured()) CreateShortcutsAndEntry(1, 1, 1, 1, nullptr);
  if (installerConfig.launchAuto != 0) {
    LOG_WARNING("Checked version is newer or equal, launching.");
    LaunchProduct(nullptr);
    ExitSetup(kExitSuccess);
  }
  LOG_WARNING("Checked version is newer or equal, exiting.");
  ExitSetup(kExitUpToDate);
}

}  // namespace

void RunSilent() {
  LOG_NORMAL("Starting silent installation.");
  if (installerConfig.setupCheckIfQuenlithLoaded != 0 && ProductIsRunning()) {
    LOG_WARNING("Exiting, Quenlith is already running.");
    ExitSetup(kExitFailure);
  }
  const int destination = ChooseSilentDestination();
  if (destination != kExitSuccess) ExitSetup(destination);
  if (installerConfig.setupCheckVersion != 0) CheckInstalledVersion();

  HWND window = CreateSilentWindow();
  const int result =
      RunInstallSequence(installerConfig.setupStartMenu, installerConfig.setupDesktopIcon,
                         installerConfig.setupUninstallInformation, installerConfig.setupStartup, window);
  AddAutoInstallPlugins(destinationDir);
  if (installerConfig.launchAuto != 0) LaunchProduct(nullptr);
  gSetupLog.Close();
  ExitSetup(result);
}
