#include "wizard/painting.h"

#include <string>

#include "platform/drawing.h"
#include "log/setup_log.h"
#include "wizard/location_page.h"
#include "state/run_state.h"
#include "wizard/pages.h"
#include "wizard/picture_rule.h"
#include "wizard/wizard_state.h"

namespace {

constexpr COLORREF kNoticeColour = RGB(200, 231, 255);
constexpr COLORREF kNoticeTextColour = RGB(0, 41, 72);
constexpr COLORREF kTrackColour = RGB(204, 204, 204);
constexpr COLORREF kFillColour = RGB(0, 128, 224);
constexpr Gdiplus::ARGB kGlintEdge = 0xFF0080E0;
constexpr Gdiplus::ARGB kGlintCentre = 0xFF62BBFF;

void DrawHeader(HDC dc, const std::string& text, int width, Gdiplus::GpBitmap* logo) {
  const double s = WizardScale();
  DrawImageRect(dc, logo, (width - Scaled(175, s)) / 2, Scaled(15, s), Scaled(175, s), Scaled(36, s), false);
  SelectedObject font(dc, CreateUiFont(wizard.dpi));
  SetTextColor(dc, RGB(0, 0, 0));
  const SIZE extent = MeasureText(dc, text);
  DrawTextAt(dc, (width - extent.cx) / 2, Scaled(70, s), text);
}

// Whether `area` lies wholly inside `rect`.
bool Within(const RECT& area, const LayoutRect& rect) {
  return area.left >= rect.x && area.top >= rect.y && area.right <= rect.x + rect.width &&
         area.bottom <= rect.y + rect.height;
}

// Whether the band from `top`, `height` high and `width` wide, meets `area`.
bool Touches(const RECT& area, int left, int top, int width, int height) {
  return area.left < left + width && area.right > left && area.top < top + height && area.bottom > top;
}

void DrawPicture(HDC dc, int width, Gdiplus::GpBitmap* picture) {
  const double s = WizardScale();
  DrawImageRect(dc, picture, (width - Scaled(200, s)) / 2, Scaled(75, s), Scaled(200, s), Scaled(200, s), true);
}

void DrawLocationNotice(HDC dc, const std::string& text, int width) {
  const double s = WizardScale();
  FillRoundedRect(dc, Scaled(30, s), Scaled(70, s), width - Scaled(30, s), Scaled(30, s) - Scaled(-70, s),
                  Scaled(8, s), kNoticeColour, 255);
  SelectedObject font(dc, CreateUiFont(wizard.dpi));
  // The text cell is painted in the band's colour.
  SetBkColor(dc, kNoticeColour);
  SetTextColor(dc, kNoticeTextColour);
  const SIZE extent = MeasureText(dc, text);
  DrawTextAt(dc, (width - extent.cx) / 2, Scaled(70, s) - (extent.cy - Scaled(30, s)) / 2, text);
}

void DrawProgressBar(HDC dc, const LayoutRect& bar, double fraction) {
  const double s = WizardScale();
  const int filled = ProgressFilled(bar.width, fraction);
  FillRoundedRect(dc, bar.x, bar.y, bar.x + bar.width, bar.y + bar.height, Scaled(4, s), kTrackColour, 255);
  if (ShowsFill(filled, s))
    FillRoundedRect(dc, bar.x, bar.y, bar.x + filled, bar.y + bar.height, Scaled(4, s), kFillColour, 255);
  if (!ShowsGlint(filled, s)) return;
  const GlintSpan span = AdvanceGlint(wizard.glint, bar.x, filled, s);
  const int shift = GlintShift(s);
  FillHorizontalGradient(dc, span.left + shift, bar.y, Scaled(20, s), Scaled(6, s), span.left, span.mid, kGlintEdge,
                         kGlintCentre);
  FillHorizontalGradient(dc, span.mid + shift, bar.y, Scaled(20, s), Scaled(6, s), span.mid, span.right,
                         kGlintCentre, kGlintEdge);
}

}  // namespace

void RepaintProgressBar(HWND window) {
  RECT client = {};
  GetClientRect(window, &client);
  const LayoutRect bar = ProgressRect(client.right - client.left, client.bottom - client.top, WizardScale());
  const RECT area = {bar.x, bar.y, bar.x + bar.width, bar.y + bar.height};
  InvalidateRect(window, &area, FALSE);
  UpdateWindow(window);
}

int SelectPictureResource() {
  const LCID lcid = GetUserDefaultLCID();
  if (lcid != kSeasonalPictureLocale) {
    LOG_NORMAL("Image is generic based on LCID of {}", lcid);
    return kGenericPicture;
  }
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  return SeasonalPicture({now.wYear, now.wMonth - 1, now.wDay});
}

void PaintWizard(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client = {};
  GetClientRect(window, &client);
  const int width = client.right - client.left, height = client.bottom - client.top;
  const double s = WizardScale();
  const LayoutRect bar = ProgressRect(width, height, s);
  const double progress = static_cast<double>(wizard.stepCount) / ProgressStepTotal(installerConfig);
  if (wizard.state == kInstallingPage && Within(paint.rcPaint, bar)) {
    // An animation frame or a step: the bar alone, in a buffer of its own size
    // rather than one of the whole page, thirty times a second.
    BackBuffer buffer(dc, bar.width, bar.height);
    if (HDC back = buffer.dc()) {
      BitBlt(back, 0, 0, bar.width, bar.height, nullptr, 0, 0, WHITENESS);
      DrawProgressBar(back, {0, 0, bar.width, bar.height}, progress);
      BitBlt(dc, bar.x, bar.y, bar.width, bar.height, back, 0, 0, SRCCOPY);
    }
    EndPaint(window, &paint);
    return;
  }
  {
    BackBuffer buffer(dc, width, height);
    if (HDC back = buffer.dc()) {
      SelectedObject font(back, CreateUiFont(wizard.dpi));
      BitBlt(back, 0, 0, width, height, nullptr, 0, 0, WHITENESS);
      switch (wizard.state) {
        case kLocationPage:
        case kLocationOptionsPage:
          if (IsOutsideDefaultLocation(DestinationText(window)))
            DrawLocationNotice(back, installerConfig.productLocationNotice, width);
          DrawHeader(back, installerConfig.productInstructionsDescription, width, wizard.logo);
          break;
        case kInstallingPage:
          // The images are drawn when their place is repainted.
          if (Touches(paint.rcPaint, 0, Scaled(75, s), width, Scaled(200, s)))
            DrawPicture(back, width, wizard.picture);
          if (Touches(paint.rcPaint, 0, 0, width, Scaled(70, s) + Scaled(40, s)))
            DrawHeader(back, installerConfig.productInstructionsInstallingDescription, width, wizard.logo);
          DrawProgressBar(back, bar, progress);
          break;
        case kCompletePage:
          DrawPicture(back, width, wizard.picture);
          DrawHeader(back, installerConfig.productInstructionsEndDescription, width, wizard.logo);
          break;
        default:
          break;
      }
      BitBlt(dc, 0, 0, width, height, back, 0, 0, SRCCOPY);
    }
  }
  EndPaint(window, &paint);
}
