#include "messages/messages.h"

#include "platform/shell.h"

namespace {

bool boxesShown = true;

}  // namespace

void SetMessageBoxesShown(bool shown) { boxesShown = shown; }

int SetupMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type, int silentAnswer) {
  if (!boxesShown) return silentAnswer;
  return ShowMessageBox(owner, text, caption, type);
}
