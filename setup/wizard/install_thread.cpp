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
  const int code = RunInstallSequence(
      {installerConfig, wizardChoices, destinationDir, window, setupInstance, OwnModulePath(), SetupImageSize()});
  if (code != kExitSuccess) {
    // The run is over while the main thread still paints: end the process
    // here without running static destructors under it.
    ConcludeRun(code);
    gSetupLog.Close();
    ExitProcess(static_cast<UINT>(code));
  }
  ReportState("complete");
  SendMessageW(window, WM_SETUP_DONE, 0, 0);
  return 0;
}

}  // namespace

void StartInstallThread(HWND window) {
  ReportState("installing");
  if (HANDLE thread = CreateThread(nullptr, 0, InstallThread, window, 0, nullptr)) CloseHandle(thread);
}
