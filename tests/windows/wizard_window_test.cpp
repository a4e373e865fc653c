// The wizard window itself, made in this process: the font its controls
// get and the colours it paints, read back from the window, at the
// monitor's DPI and after a move to a monitor of another scale.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "try/dc_pixels.h"
#include "platform/drawing.h"
#include "setup_ids.h"
#include "state/run_state.h"
#include "wizard/pages.h"
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

// The major version the system reports to this process, as to the
// installer (the program's manifest lists the same systems).
DWORD ReportedMajorVersion() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(&version);
#pragma GCC diagnostic pop
  return version.dwMajorVersion;
}

// The face the system's reported version calls for: Segoe UI on 6.x, else Tahoma.
std::wstring ExpectedFace() { return ReportedMajorVersion() == 6 ? L"Segoe UI" : L"Tahoma"; }

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

  // The client area's pixels, row by row, after a whole repaint.
  std::vector<std::uint32_t> Painted(int& width, int& height) {
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
    RECT client = {};
    GetClientRect(window_, &client);
    width = client.right;
    height = client.bottom;
    HDC dc = GetDC(window_);
    std::vector<std::uint32_t> pixels = CopyPixels(dc, 0, 0, width, height);
    ReleaseDC(window_, dc);
    return pixels;
  }

  InstallerConfig saved_;
  HWND window_ = nullptr;
};

// Pixels in `area` of a client area `width` wide.
std::vector<std::uint32_t> Within(const std::vector<std::uint32_t>& pixels, int width, const LayoutRect& area) {
  std::vector<std::uint32_t> inside;
  for (int y = area.y; y < area.y + area.height; ++y)
    for (int x = area.x; x < area.x + area.width; ++x) inside.push_back(pixels[static_cast<std::size_t>(y * width + x)]);
  return inside;
}

TEST_F(WizardWindowTest, PagesArePaintedInTheirColours) {
  int width = 0, height = 0;
  const std::vector<std::uint32_t> location = Painted(width, height);
  ASSERT_FALSE(location.empty());

  // The installing page nearly done, so that the bar shows its highlight.
  DestroyLocationPage(window_);
  wizard.stepCount = ProgressStepTotal(installerConfig) - 1;
  CreateInstallingPage(window_);
  const double s = WizardScale();
  const LayoutRect bar = ProgressRect(width, height, s);
  const int filled = ProgressFilled(bar.width, static_cast<double>(wizard.stepCount) / ProgressStepTotal(installerConfig));
  Glint next = wizard.glint;
  const GlintSpan glint = AdvanceGlint(next, bar.x, filled, s);
  const std::vector<std::uint32_t> installing = Painted(width, height);
  ASSERT_FALSE(installing.empty());

  // The notice band runs from y 70 to 100, inset 30 from both sides.
  const LayoutRect band = {Scaled(30, s), Scaled(70, s), width - 2 * Scaled(30, s), Scaled(30, s)};
  const struct {
    const char* what;
    const std::vector<std::uint32_t>& page;
    LayoutRect area;
    std::uint32_t colour;
    bool everywhere;  // or in some pixel of the area
  } cases[] = {
      {"page", location, {0, Scaled(140, s), Scaled(20, s), Scaled(40, s)}, 0xFFFFFF, true},
      {"notice band, below its text", location, {band.x + 10, band.y + Scaled(22, s), band.width - 20, Scaled(5, s)},
       0xC8E7FF, true},
      {"notice text", location, band, 0x002948, false},
      {"progress fill", installing, {glint.right + 4, bar.y + 1, 20, bar.height - 2}, 0x0080E0, true},
      {"progress track", installing, {bar.x + filled + 4, bar.y + 1, 10, bar.height - 2}, 0xCCCCCC, true},
      {"highlight at its middle", installing, {glint.mid, bar.y + 1, 1, bar.height - 2}, 0x62BBFF, true},
  };
  for (const auto& c : cases) {
    const std::vector<std::uint32_t> area = Within(c.page, width, c.area);
    const auto matches = std::count(area.begin(), area.end(), c.colour);
    if (c.everywhere)
      EXPECT_EQ(matches, static_cast<std::ptrdiff_t>(area.size())) << c.what;
    else
      EXPECT_GT(matches, 0) << c.what;
  }
  // The notice is written in its own colour, not the header's black.
  const std::vector<std::uint32_t> notice = Within(location, width, band);
  EXPECT_EQ(std::count(notice.begin(), notice.end(), 0x000000u), 0);
}

// The pictures and pixel tests measure the wizard in Tahoma: the harness's
// prefix reports Windows 10, and has Wine's Tahoma.
TEST_F(WizardWindowTest, TheWizardsFontIsTahomaAt96Dpi) {
  ASSERT_EQ(wizard.dpi.y, 96u);
  EXPECT_EQ(ReportedMajorVersion(), 10u) << "the harness's prefix reports Windows 10";
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(window_, IDC_DESTINATION), WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(ResolvedFace(font), L"Tahoma");
  // The wizard paints its own texts with the same font.
  EXPECT_EQ(ResolvedFace(wizard.uiFont), L"Tahoma");
}

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
      // And the prefix has that face: a missing one would be drawn in a substitute.
      EXPECT_EQ(ResolvedFace(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0))), ExpectedFace())
          << c.dpi << " " << GetDlgCtrlID(child);
      EXPECT_EQ(font.lfWeight, FW_NORMAL) << GetDlgCtrlID(child);
      EXPECT_EQ(font.lfCharSet, DEFAULT_CHARSET) << GetDlgCtrlID(child);
      EXPECT_EQ(font.lfClipPrecision, CLIP_CHARACTER_PRECIS) << GetDlgCtrlID(child);
    }
  }
}

}  // namespace
