// The wizard window itself, made in this process: the font its controls
// get, read back from them, at the monitor's DPI and after a move to a
// monitor of another scale.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/drawing.h"
#include "state/run_state.h"
#include "wizard/wizard.h"
#include "wizard/wizard_layout.h"
#include "wizard/wizard_state.h"

namespace {

BOOL CALLBACK CollectChild(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

// Every child of `window`.
std::vector<HWND> ChildrenOf(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

// The face the system's reported version calls for: Segoe UI on 6.x, else Tahoma.
std::wstring ExpectedFace() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(&version);
#pragma GCC diagnostic pop
  return version.dwMajorVersion == 6 ? L"Segoe UI" : L"Tahoma";
}

class WizardWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartDrawing());
    saved_ = installerConfig;
    setupInstance = GetModuleHandleW(nullptr);
    installerConfig.productLocationNotice = "Quenlith will only automatically update at the default location.";
    installerConfig.setupDesktopIcon = installerConfig.setupStartup = 1;
    // No destination: the page opens away from the default location, with its notice.
    window_ = CreateWizardWindow();
    ASSERT_NE(window_, nullptr);
  }

  void TearDown() override {
    if (window_ != nullptr) DestroyWindow(window_);
    // The window's end posts the quit that would end a wizard run.
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    if (wizard.uiFont != nullptr) DeleteObject(wizard.uiFont);
    if (wizard.buttonBrush != nullptr) DeleteObject(wizard.buttonBrush);
    wizard = WizardRecord();
    installerConfig = saved_;
    StopDrawing();
  }

  InstallerConfig saved_;
  HWND window_ = nullptr;
};

TEST_F(WizardWindowTest, ControlsGetTheWizardFontAtTheWindowsDpi) {
  const struct {
    UINT dpi;
    LONG height;  // 9 points
  } cases[] = {{96, -12}, {144, -18}, {120, -15}};
  for (const auto& c : cases) {
    if (c.dpi != wizard.dpi.y) {
      // As the system asks when the window moves to a monitor of this DPI.
      RECT suggested = {};
      GetWindowRect(window_, &suggested);
      suggested.right = suggested.left + Scaled(420, c.dpi / 96.0);
      suggested.bottom = suggested.top + Scaled(340, c.dpi / 96.0);
      SendMessageW(window_, WM_DPICHANGED, MAKEWPARAM(c.dpi, c.dpi), reinterpret_cast<LPARAM>(&suggested));
    }
    const std::vector<HWND> children = ChildrenOf(window_);
    ASSERT_EQ(children.size(), 7u) << c.dpi;
    for (HWND child : children) {
      LOGFONTW font = {};
      ASSERT_EQ(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), sizeof font, &font),
                static_cast<int>(sizeof font))
          << c.dpi << " " << GetDlgCtrlID(child);
      EXPECT_EQ(font.lfHeight, c.height) << c.dpi << " " << GetDlgCtrlID(child);
      EXPECT_EQ(std::wstring(font.lfFaceName), ExpectedFace()) << c.dpi << " " << GetDlgCtrlID(child);
      EXPECT_EQ(font.lfWeight, FW_NORMAL) << GetDlgCtrlID(child);
      EXPECT_EQ(font.lfCharSet, DEFAULT_CHARSET) << GetDlgCtrlID(child);
      EXPECT_EQ(font.lfClipPrecision, CLIP_CHARACTER_PRECIS) << GetDlgCtrlID(child);
    }
  }
}

}  // namespace
