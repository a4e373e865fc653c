#pragma once
// The wizard window's process-wide state and timers; all touched only on
// the main thread. Its control ids are named in setup_ids.h.

#include <windows.h>
// Needs windows.h first.
#include <gdiplus.h>

#include "platform/drawing.h"
#include "setup_ids.h"
#include "wizard/wizard_layout.h"

// The page the wizard shows.
enum WizardPage : int {
  kNoPage = 0,
  kLocationPage = 1,
  kLocationOptionsPage = 2,  // reached only through IDC_OPTIONS, which no page creates
  kInstallingPage = 3,
  kCompletePage = 4,
};

inline constexpr UINT_PTR TIMER_NEXT = 2;
inline constexpr UINT TIMER_NEXT_MS = 200;
inline constexpr UINT_PTR TIMER_ANIMATION = 3;
inline constexpr UINT TIMER_ANIMATION_MS = 33;

inline constexpr const wchar_t* kWizardClassName = L"Quenlith: Setup";

struct WizardRecord {
  int state = kNoPage;                    // WizardState: set by the page builders and ToggleOptions
  Dpi dpi;                                // the window's: its monitor's when created, WM_DPICHANGED's since
  HFONT uiFont = nullptr;                 // given to every control; replaced only when the DPI changes
  HBRUSH buttonBrush = nullptr;           // push-button background; never deleted
  Gdiplus::GpBitmap* logo = nullptr;      // decoded once, kept for the process
  Gdiplus::GpBitmap* picture = nullptr;
  int stepCount = 0;                      // WM_SETUP_STEP messages received
  int noticeState = -1;                   // last default-location test seen on an edit change
  Glint glint;                            // the progress highlight's motion
};

extern WizardRecord wizard;

// The scale of every layout constant, font and drawing of the window: one
// value for all of them, so the window never mixes two.
inline double WizardScale() { return GetScaleFactors(wizard.dpi).x; }
