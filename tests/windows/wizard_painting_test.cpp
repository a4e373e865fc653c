// The wizard's painting over thousands of frames: every font, brush, bitmap
// and context a frame makes is freed again, so a long installation cannot
// run the process out of GDI objects.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/drawing.h"
#include "setup_ids.h"
#include "state/run_state.h"
#include "wizard/painting.h"
#include "wizard/wizard_layout.h"
#include "wizard/wizard_state.h"
#include "try/dc_pixels.h"
#include "windows_test_support.h"

namespace {

// The live GDI objects of this process. Where the system does not count them
// (Wine answers 0), every handle slot is probed: a handle value that is only
// the slot's index names whatever object lives in that slot.
int GdiObjectCount() {
  if (const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<int>(counted);
  int live = 0;
  for (ULONG_PTR slot = 1; slot < 0x10000; ++slot)
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++live;
  return live;
}

LRESULT CALLBACK PaintOnly(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PaintWizard(window);
    return 0;
  }
  if (message == WM_ERASEBKGND) return 1;
  return DefWindowProcW(window, message, wParam, lParam);
}

// The colour (RRGGBB) of the window's client pixel at x, y.
unsigned long PixelAt(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  const COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

class WizardPaintingTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartDrawing());
    // The artwork comes from the installer beside this program.
    const std::filesystem::path installer = windows_test::LoopbackInstaller();
    artwork_ = LoadLibraryExW(installer.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(artwork_, nullptr);
    wizard.logo = LoadPngResource(artwork_, IDB_LOGO);
    wizard.picture = LoadPngResource(artwork_, IDB_PICTURE_NATIONAL_DAY);
    ASSERT_TRUE(wizard.logo != nullptr && wizard.picture != nullptr);
    installerConfig.productInstructionsDescription = "Choose where Quenlith goes.";
    installerConfig.productInstructionsInstallingDescription = "Quenlith will be ready in just a few moments.";
    installerConfig.productInstructionsEndDescription = "Click Launch to start Quenlith.";
    installerConfig.productLocationNotice = "Quenlith will only automatically update at the default location.";

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = PaintOnly;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuenlithPaintingTest";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED | WS_CAPTION, 0, 0, 420, 340, nullptr,
                              nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
  }

  void TearDown() override {
    if (window_ != nullptr) DestroyWindow(window_);
    wizard.logo = wizard.picture = nullptr;
    StopDrawing();
    if (artwork_ != nullptr) FreeLibrary(artwork_);
  }

  // Whole-page frames, or with `barOnly` the frames of the animation, which repaint only the bar.
  void Frames(int count, bool barOnly = false) {
    for (int i = 0; i < count; ++i) {
      wizard.stepCount = i % (ProgressStepTotal(installerConfig) + 1);
      if (barOnly) {
        RepaintProgressBar(window_);
      } else {
        InvalidateRect(window_, nullptr, FALSE);
        UpdateWindow(window_);
      }
    }
  }

  // The window's pixels in `area`, row by row.
  std::vector<std::uint32_t> Pixels(const LayoutRect& area) {
    HDC dc = GetDC(window_);
    std::vector<std::uint32_t> pixels = CopyPixels(dc, area.x, area.y, area.width, area.height);
    ReleaseDC(window_, dc);
    return pixels;
  }

  HMODULE artwork_ = nullptr;
  HWND window_ = nullptr;
};

TEST_F(WizardPaintingTest, ThousandsOfFramesOnEveryPageLeaveTheGdiObjectCountAsItWas) {
  RECT client = {};
  GetClientRect(window_, &client);
  const struct {
    int page;
    const char* name;
    bool barOnly;
  } pages[] = {{kLocationPage, "location", false},
               {kInstallingPage, "installing", false},
               {kInstallingPage, "installing, animation frames", true},
               {kCompletePage, "complete", false}};
  for (const auto& page : pages) {
    wizard.state = page.page;
    // Fonts and caches that the system keeps after the first frames.
    Frames(50, page.barOnly);
    const int before = GdiObjectCount();
    Frames(1000, page.barOnly);
    EXPECT_EQ(GdiObjectCount(), before) << page.name;
    // The frames were really drawn: the logo's row is not blank.
    bool logo = false;
    for (int x = client.right / 2 - 80; x < client.right / 2 + 80 && !logo; x += 2)
      logo = PixelAt(window_, x, 33) != 0xFFFFFF;
    EXPECT_TRUE(logo) << page.name;
  }
}

TEST_F(WizardPaintingTest, AnAnimationFrameDrawsTheBarAsAWholePageFrameDoes) {
  RECT client = {};
  GetClientRect(window_, &client);
  const double s = WizardScale();
  const LayoutRect bar = ProgressRect(client.right, client.bottom, s);
  wizard.state = kInstallingPage;
  // Filled far enough to show the moving highlight, which each frame advances.
  wizard.stepCount = ProgressStepTotal(installerConfig) - 1;
  const int filled = ProgressFilled(bar.width, static_cast<double>(wizard.stepCount) / ProgressStepTotal(installerConfig));
  for (int frame = 0; frame < 40; frame += 13) {
    wizard.glint = {};
    for (int i = 0; i < frame; ++i) AdvanceGlint(wizard.glint, bar.x, filled, s);
    const Glint before = wizard.glint;
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
    const std::vector<std::uint32_t> whole = Pixels(bar);
    wizard.glint = before;
    // Paint over the bar first, so that the next frame must draw all of it.
    HDC dc = GetDC(window_);
    PatBlt(dc, bar.x, bar.y, bar.width, bar.height, BLACKNESS);
    ReleaseDC(window_, dc);
    RepaintProgressBar(window_);
    ASSERT_FALSE(whole.empty());
    EXPECT_TRUE(Pixels(bar) == whole) << "frame " << frame;
  }
}

}  // namespace
