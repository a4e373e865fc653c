#pragma once
// What the wizard's end-to-end tests share: a fixture that drives the wizard
// window from a second Windows process (wintool) as a user would, reads its
// controls by their names in setup_ids.h, and closes whatever wizard a test
// leaves behind.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "e2e_support.h"
#include "setup_ids.h"

namespace e2e {

// Numbers of the platform's own that the tests send (windows.h is not
// available to these native tests).
inline constexpr int kIdCancel = 2;     // IDCANCEL: Cancel, Escape and the close box
inline constexpr int kWmClose = 16;     // WM_CLOSE: the close box
inline constexpr int kWmCommand = 273;  // WM_COMMAND
inline constexpr int kVkReturn = 13;    // VK_RETURN
inline constexpr int kVkEscape = 27;    // VK_ESCAPE
inline constexpr int kVkEnd = 35;       // VK_END

// One child window of the wizard, as wintool's "children" lists it.
struct Control {
  std::string className, text;
  int x = 0, y = 0, width = 0, height = 0;
  bool visible = false, enabled = false;
  int check = 0;
  unsigned long style = 0;
};

class WizardFixture : public E2eTest {
 protected:
  // A wizard the test left open is closed before its logs go.
  void TearDown() override;

  // Runs wintool with `args` and returns what it printed.
  std::string Tool(const std::vector<std::string>& args);

  // Waits up to 30 s until the window is shown, sized and with its first page.
  bool WaitForWizard();
  // The window's client size; {0, 0} without a window.
  std::pair<int, int> ClientSize();

  // The window's controls by id: what a user sees of the page.
  std::map<int, Control> Children();

  // Waits until the window shows the complete page (its launch button alone).
  bool WaitForCompletePage();

  // Whether no wizard window exists; WaitUntilWizardGone waits up to 30 s for that.
  bool WizardGone();
  bool WaitUntilWizardGone();

  // Presses a button once its 200 ms lock after the last press is over.
  void PressWhenReady(int id);

  // The control commands of wintool, by the control's name.
  void SetText(int id, const std::string& text);
  void SetCheck(int id, bool checked);
  void Command(int id);
  void Key(int virtualKey);
  void Post(int message);
};

}  // namespace e2e
