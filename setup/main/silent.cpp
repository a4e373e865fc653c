#include "main/silent.h"

#include "exit_codes.h"
#include "log/setup_log.h"
#include "main/destination.h"
#include "main/install.h"
#include "main/run_state.h"
#include "main/startup.h"

namespace {

LRESULT CALLBACK SilentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
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

void RunSilent() {
  LOG_NORMAL("Starting silent installation.");
  if (installerConfig.setupCheckIfQuenlithLoaded != 0 && FindWindowA("Quenlith", "Quenlith") != nullptr) {
    LOG_WARNING("Exiting, Quenlith is already running.");
    ExitSetup(kExitFailure);
  }
  const int destination = ChooseSilentDestination();
  if (destination != kExitSuccess) ExitSetup(destination);

  HWND window = CreateSilentWindow();
  const int result =
      RunInstallSequence(installerConfig.setupStartMenu, installerConfig.setupDesktopIcon,
                         installerConfig.setupUninstallInformation, installerConfig.setupStartup, window);
  gSetupLog.Close();
  ExitSetup(result);
}
