#include "run/silent.h"

#include <cstdio>

#include "messages/exit_codes.h"
#include "platform/files.h"
#include "log/setup_log.h"
#include "split/setup_image_size.h"
#include "destination/destination.h"
#include "install/install.h"
#include "integration/launch.h"
#include "platform/paths.h"
#include "install/product.h"
#include "state/run_state.h"
#include "integration/settings.h"
#include "run/version_check.h"
#include "platform/profile.h"
#include "platform/text.h"

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

}  // namespace

ExitCode RunSilent() {
  LOG_NORMAL("Starting silent installation.");
  if (installerConfig.setupCheckIfQuenlithLoaded != 0 && ProductIsRunning()) {
    LOG_WARNING("Exiting, Quenlith is already running.");
    return kExitFailure;
  }
  if (const ExitCode refused = ChooseSilentDestination(installerConfig, destinationDir); refused != kExitSuccess)
    return refused;
  // A copy as new or newer is kept, not installed over.
  if (installerConfig.setupCheckVersion != 0 &&
      CheckInstalledVersion(installerConfig, destinationDir) == InstalledVersion::kAsNewOrNewer)
    return KeepUpToDateCopy(installerConfig, destinationDir);

  const InstallResult installed = RunInstallSequence(
      {installerConfig, ScriptChoices(installerConfig), destinationDir, CreateSilentWindow(), setupInstance,
       OwnModulePath(), SetupImageSize()});
  destinationDir = installed.destination;
  if (installed.code != kExitSuccess) return installed.code;
  AddAutoInstallPlugins(installerConfig, destinationDir);
  if (installerConfig.launchAuto != 0) LaunchProduct(nullptr, installerConfig, destinationDir);
  gSetupLog.Close();
  return installed.code;
}
