#pragma once
// Drawing helpers of the wizard at the platform edge: scale factors and
// fonts from the monitor's DPI, the caption theming, PNG artwork through
// GDI+, an off-screen back buffer, anti-aliased rounded shapes and gradients,
// and single-line text. gdiplus, shcore and uxtheme are loaded from the
// system folder at run time; when one is missing its part draws nothing or
// stays unscaled. Texts are UTF-8.

#include <windows.h>

#include <cstdint>
// Needs windows.h first.
#include <gdiplus.h>

#include <string_view>

// A DPI for each axis; 96 is 100 %.
struct Dpi {
  UINT x = 96;
  UINT y = 96;
};
// The effective DPI of the window's monitor; 96 for both axes when the
// monitor or GetDpiForMonitor is missing, so that nothing is scaled.
Dpi GetMonitorDpi(HWND window);

// The layout scale at `dpi`: its horizontal DPI over 96, for both axes.
struct ScaleFactors {
  double x = 1.0;
  double y = 1.0;
};
ScaleFactors GetScaleFactors(const Dpi& dpi);

// A font height for CreateFontW at `dpi`'s vertical DPI, from a height at 96
// DPI (negative: character height in pixels), through whole points. At 96
// DPI the wizard's heights, -12 and -11, come back as they are.
int ScaleFontHeight(const Dpi& dpi, double height);
// The wizard's font height at `dpi`: 9 points from Windows 6.0 on, 8 before.
int GetUiFontHeight(const Dpi& dpi);
// "Segoe UI" when the system reports major version 6, otherwise "Tahoma".
const wchar_t* GetUiFontFace();
// A new wizard font for `dpi`; the caller deletes it.
HFONT CreateUiFont(const Dpi& dpi);

// Whether the system is Windows 6.0 or later (cached).
bool IsVistaOrGreater();

// Hides the caption's title and icon where the theme allows it.
void HideCaptionAndIcon(HWND window);

// The process's one GDI+ start, for the helpers below: start-up makes it,
// and a helper used before makes it itself. True while started; false when
// gdiplus.dll cannot be loaded (then never tried again) or does not start.
// Main thread only.
bool StartDrawing();
// Shuts GDI+ down (a later StartDrawing starts it again); images loaded
// before must no longer be drawn.
void StopDrawing();

// The PNG resource `id` (type "PNG") of `module` decoded to a GDI+ bitmap,
// kept by the caller for the life of the process; nullptr when missing or
// not decodable.
Gdiplus::GpBitmap* LoadPngResource(HMODULE module, int id);

// Draws `image` (nothing when null) into width x height at x, y; with
// `highQuality`, bicubic resampling.
void DrawImageRect(HDC dc, Gdiplus::GpBitmap* image, int x, int y, int width, int height, bool highQuality);

// A zero-filled 32-bit top-down bitmap selected into a memory context
// compatible with `dc`; restores and frees both when destroyed. Invalid
// (dc() null) when it cannot be created: drawing then goes nowhere.
class BackBuffer {
 public:
  BackBuffer(HDC dc, int width, int height);
  ~BackBuffer();
  BackBuffer(const BackBuffer&) = delete;
  BackBuffer& operator=(const BackBuffer&) = delete;
  HDC dc() const { return dc_; }
  // Its pixels, row by row from the top, as 0x00RRGGBB (after GdiFlush); null when invalid.
  const std::uint32_t* bits() const { return bits_; }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  const std::uint32_t* bits_ = nullptr;
  HGDIOBJ replaced_ = nullptr;
};

// A GDI object selected into a device context and deleted with it:
// restores what it replaced, then deletes the object.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object);
  ~SelectedObject();
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ object_;
  HGDIOBJ replaced_;
};

// Fills the rectangle (left, top)-(right, bottom) with corners of
// `diameter`, anti-aliased, in `colour` (a GDI colour) at `alpha`.
void FillRoundedRect(HDC dc, int left, int top, int right, int bottom, int diameter, COLORREF colour, BYTE alpha);

// Fills the rectangle x, y, width x height with a horizontal gradient from
// `fromColour` at `fromX` to `toColour` at `toX`, repeated beyond (ARGB).
void FillHorizontalGradient(HDC dc, int x, int y, int width, int height, int fromX, int toX, Gdiplus::ARGB fromColour,
                            Gdiplus::ARGB toColour);

// The size of `text` as one line in the selected font: the larger of two
// width measures, and the line height.
SIZE MeasureText(HDC dc, std::string_view text);
// Draws `text` as one unclipped line with its top-left at x, y; ampersands
// are shown as they are.
void DrawTextAt(HDC dc, int x, int y, std::string_view text);
