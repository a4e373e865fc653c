#include "main/messages.h"

#include "main/run_state.h"
#include "shell.h"

int SetupMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type, int silentAnswer) {
  if (installerConfig.installerSilent != 0) return silentAnswer;
  return ShowMessageBox(owner, text, caption, type);
}
