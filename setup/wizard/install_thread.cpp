#include "wizard/install_thread.h"

#include "messages/exit_codes.h"
#include "platform/files.h"
#include "log/setup_log.h"
#include "split/setup_image_size.h"
#include "install/install.h"
#include "install/outcomes.h"
#include "report/report.h"
#include "state/run_state.h"

namespace {

// Installs with the user's choices; steps and the end go to the window.
DWORD WINAPI InstallThread(void* parameter) {
  const HWND window = static_cast<HWND>(parameter);
  const InstallResult installed = RunInstallSequence(
      {installerConfig, wizardChoices, destinationDir, window, setupInstance, OwnModulePath(), SetupImageSize()});
  // The main thread reads it only after WM_SETUP_DONE.
  destinationDir = installed.destination;
  if (installed.code != kExitSuccess) EndRunFromInstallThread(installed.code);
  ReportStateInBackground("complete");
  SendMessageW(window, WM_SETUP_DONE, 0, 0);
  return 0;
}

}  // namespace

void StartInstallThread(HWND window) {
  ReportStateInBackground("installing");
  if (HANDLE thread = CreateThread(nullptr, 0, InstallThread, window, 0, nullptr)) CloseHandle(thread);
}
