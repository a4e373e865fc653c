#include "platform/drawing.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/system.h"
#include "platform/system_functions.h"
#include "platform/system_library.h"
#include "platform/text.h"

namespace {

namespace flat = Gdiplus::DllExports;

// A GDI+ function of the system's gdiplus.dll, looked up once; null when missing.
#define GDIPLUS_FUNCTION(name)                                                                      \
  static const auto name = SystemFunction<decltype(flat::name)>(L"gdiplus.dll", #name);           \
  if (name == nullptr) return

// MDT_EFFECTIVE_DPI of shellscalingapi.h, which this platform level does not declare.
constexpr int kEffectiveDpi = 0;
using GetDpiForMonitorFunction = HRESULT WINAPI(HMONITOR, int, UINT*, UINT*);

// A GDI+ graphics object on a device context, deleted with its owner.
class Graphics {
 public:
  explicit Graphics(HDC dc) {
    GDIPLUS_FUNCTION(GdipCreateFromHDC);
    if (GdipCreateFromHDC(dc, &graphics_) != Gdiplus::Ok) graphics_ = nullptr;
  }
  ~Graphics() {
    GDIPLUS_FUNCTION(GdipDeleteGraphics);
    if (graphics_ != nullptr) GdipDeleteGraphics(graphics_);
  }
  Graphics(const Graphics&) = delete;
  Graphics& operator=(const Graphics&) = delete;
  Gdiplus::GpGraphics* get() const { return graphics_; }

 private:
  Gdiplus::GpGraphics* graphics_ = nullptr;
};

void DeleteBrush(Gdiplus::GpBrush* brush) {
  GDIPLUS_FUNCTION(GdipDeleteBrush);
  if (brush != nullptr) GdipDeleteBrush(brush);
}

void DeletePath(Gdiplus::GpPath* path) {
  GDIPLUS_FUNCTION(GdipDeletePath);
  if (path != nullptr) GdipDeletePath(path);
}

void FillPath(Gdiplus::GpGraphics* graphics, Gdiplus::GpBrush* brush, Gdiplus::GpPath* path) {
  GDIPLUS_FUNCTION(GdipFillPath);
  GdipFillPath(graphics, brush, path);
}

Gdiplus::GpPath* RoundedPath(int left, int top, int right, int bottom, int diameter) {
  static const auto create = SystemFunction<decltype(flat::GdipCreatePath)>(L"gdiplus.dll", "GdipCreatePath");
  static const auto arc = SystemFunction<decltype(flat::GdipAddPathArcI)>(L"gdiplus.dll", "GdipAddPathArcI");
  static const auto close = SystemFunction<decltype(flat::GdipClosePathFigure)>(L"gdiplus.dll", "GdipClosePathFigure");
  Gdiplus::GpPath* path = nullptr;
  if (create == nullptr || arc == nullptr || close == nullptr || create(Gdiplus::FillModeAlternate, &path) != Gdiplus::Ok)
    return nullptr;
  const int d = std::min({diameter, right - left, bottom - top});
  arc(path, left, top, d, d, 180.0f, 90.0f);
  arc(path, right - d, top, d, d, 270.0f, 90.0f);
  arc(path, right - d, bottom - d, d, d, 0.0f, 90.0f);
  arc(path, left, bottom - d, d, d, 90.0f, 90.0f);
  close(path);
  return path;
}

ULONG_PTR drawingToken = 0;

}  // namespace

Dpi GetMonitorDpi(HWND window) {
  static const auto getDpiForMonitor = SystemFunction<GetDpiForMonitorFunction>(L"shcore.dll", "GetDpiForMonitor");
  HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
  Dpi dpi;
  if (monitor == nullptr || getDpiForMonitor == nullptr) return dpi;
  UINT dpiX = 96, dpiY = 96;
  if (SUCCEEDED(getDpiForMonitor(monitor, kEffectiveDpi, &dpiX, &dpiY))) dpi = {dpiX, dpiY};
  return dpi;
}

ScaleFactors GetScaleFactors(const Dpi& dpi) {
  const double scale = dpi.x / 96.0;
  return {scale, scale};
}

int ScaleFontHeight(const Dpi& dpi, double height) {
  return -MulDiv(static_cast<int>(height / -1.3333333333333333), static_cast<int>(dpi.y), 72);
}

int GetUiFontHeight(const Dpi& dpi) { return ScaleFontHeight(dpi, IsVistaOrGreater() ? -12 : -11); }

const wchar_t* GetUiFontFace() {
  // Only 6.x gets Segoe UI; a system reporting 10 draws with Tahoma, as the
  // wizard's layout was measured with.
  return ReportedSystemVersion().major == 6 ? L"Segoe UI" : L"Tahoma";
}

HFONT CreateUiFont(const Dpi& dpi) {
  return CreateFontW(GetUiFontHeight(dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, GetUiFontFace());
}

bool IsVistaOrGreater() {
  static const bool vistaOrGreater = [] {
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = 6;
    ULONGLONG condition = 0;
    condition = VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
    condition = VerSetConditionMask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
    condition = VerSetConditionMask(condition, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, condition) != 0;
  }();
  return vistaOrGreater;
}

void HideCaptionAndIcon(HWND window) {
  // WTA_NONCLIENT with WTNCA_NODRAWCAPTION | WTNCA_NODRAWICON, as uxtheme.h declares them.
  using SetWindowThemeAttributeFunction = HRESULT WINAPI(HWND, int, void*, DWORD);
  static const auto setAttribute =
      SystemFunction<SetWindowThemeAttributeFunction>(L"uxtheme.dll", "SetWindowThemeAttribute");
  if (setAttribute == nullptr) return;
  struct {
    DWORD flags;
    DWORD mask;
  } options = {3, 3};
  setAttribute(window, 1, &options, sizeof options);
}

bool StartDrawing() {
  if (drawingToken != 0) return true;
  static const bool available = SystemLibrary(L"gdiplus.dll") != nullptr;
  if (!available) return false;
  Gdiplus::GdiplusStartupInput input;
  if (system_dll::GdiplusStartup(&drawingToken, &input, nullptr) == Gdiplus::Ok) return true;
  drawingToken = 0;
  return false;
}

void StopDrawing() {
  if (drawingToken != 0) system_dll::GdiplusShutdown(drawingToken);
  drawingToken = 0;
}

Gdiplus::GpBitmap* LoadPngResource(HMODULE module, int id) {
  static const auto fromStream =
      SystemFunction<decltype(flat::GdipCreateBitmapFromStream)>(L"gdiplus.dll", "GdipCreateBitmapFromStream");
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), "PNG");
  const DWORD size = resource != nullptr ? SizeofResource(module, resource) : 0;
  if (size == 0 || fromStream == nullptr || !StartDrawing()) return nullptr;
  const void* bytes = LockResource(LoadResource(module, resource));
  if (bytes == nullptr) return nullptr;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (memory == nullptr) return nullptr;
  void* copy = GlobalLock(memory);
  if (copy == nullptr) {
    GlobalFree(memory);
    return nullptr;
  }
  std::memcpy(copy, bytes, size);
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    GlobalFree(memory);
    return nullptr;
  }
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (fromStream(stream, &bitmap) != Gdiplus::Ok) bitmap = nullptr;
  // GDI+ holds its own reference; the memory goes with the last one.
  stream->Release();
  return bitmap;
}

void DrawImageRect(HDC dc, Gdiplus::GpBitmap* image, int x, int y, int width, int height, bool highQuality) {
  static const auto drawImage =
      SystemFunction<decltype(flat::GdipDrawImageRectI)>(L"gdiplus.dll", "GdipDrawImageRectI");
  static const auto setInterpolation =
      SystemFunction<decltype(flat::GdipSetInterpolationMode)>(L"gdiplus.dll", "GdipSetInterpolationMode");
  if (image == nullptr || drawImage == nullptr) return;
  Graphics graphics(dc);
  if (graphics.get() == nullptr) return;
  if (highQuality && setInterpolation != nullptr)
    setInterpolation(graphics.get(), Gdiplus::InterpolationModeHighQualityBicubic);
  drawImage(graphics.get(), image, x, y, width, height);
}

BackBuffer::BackBuffer(HDC dc, int width, int height) {
  if (height < 0) return;
  dc_ = CreateCompatibleDC(dc);
  if (dc_ == nullptr) return;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap_ == nullptr) {
    DeleteDC(dc_);
    dc_ = nullptr;
    return;
  }
  std::memset(bits, 0, static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  bits_ = static_cast<const std::uint32_t*>(bits);
  replaced_ = SelectObject(dc_, bitmap_);
}

BackBuffer::~BackBuffer() {
  if (dc_ == nullptr) return;
  SelectObject(dc_, replaced_);
  DeleteObject(bitmap_);
  DeleteDC(dc_);
}

SelectedObject::SelectedObject(HDC dc, HGDIOBJ object)
    : dc_(dc), object_(object), replaced_(object != nullptr ? SelectObject(dc, object) : nullptr) {}

SelectedObject::~SelectedObject() {
  if (object_ == nullptr) return;
  SelectObject(dc_, replaced_);
  DeleteObject(object_);
}

void FillRoundedRect(HDC dc, int left, int top, int right, int bottom, int diameter, COLORREF colour, BYTE alpha) {
  static const auto solidFill =
      SystemFunction<decltype(flat::GdipCreateSolidFill)>(L"gdiplus.dll", "GdipCreateSolidFill");
  static const auto smoothing =
      SystemFunction<decltype(flat::GdipSetSmoothingMode)>(L"gdiplus.dll", "GdipSetSmoothingMode");
  static const auto pixelOffset =
      SystemFunction<decltype(flat::GdipSetPixelOffsetMode)>(L"gdiplus.dll", "GdipSetPixelOffsetMode");
  if (!StartDrawing() || solidFill == nullptr) return;
  Graphics graphics(dc);
  if (graphics.get() == nullptr) return;
  if (smoothing != nullptr) smoothing(graphics.get(), Gdiplus::SmoothingModeAntiAlias);
  if (pixelOffset != nullptr) pixelOffset(graphics.get(), Gdiplus::PixelOffsetModeHighQuality);
  const Gdiplus::ARGB argb = (static_cast<Gdiplus::ARGB>(alpha) << 24) |
                             (static_cast<Gdiplus::ARGB>(GetRValue(colour)) << 16) |
                             (static_cast<Gdiplus::ARGB>(GetGValue(colour)) << 8) | GetBValue(colour);
  Gdiplus::GpSolidFill* brush = nullptr;
  if (solidFill(argb, &brush) != Gdiplus::Ok) return;
  if (Gdiplus::GpPath* path = RoundedPath(left, top, right, bottom, diameter)) {
    FillPath(graphics.get(), brush, path);
    DeletePath(path);
  }
  DeleteBrush(brush);
}

void FillHorizontalGradient(HDC dc, int x, int y, int width, int height, int fromX, int toX, Gdiplus::ARGB fromColour,
                            Gdiplus::ARGB toColour) {
  static const auto lineBrush =
      SystemFunction<decltype(flat::GdipCreateLineBrushI)>(L"gdiplus.dll", "GdipCreateLineBrushI");
  static const auto fillRectangle =
      SystemFunction<decltype(flat::GdipFillRectangleI)>(L"gdiplus.dll", "GdipFillRectangleI");
  if (!StartDrawing() || lineBrush == nullptr || fillRectangle == nullptr) return;
  Graphics graphics(dc);
  if (graphics.get() == nullptr) return;
  // The gradient runs along y 10 at both ends: only its horizontal direction matters.
  const Gdiplus::Point from(fromX, 10), to(toX, 10);
  Gdiplus::GpLineGradient* brush = nullptr;
  if (lineBrush(&from, &to, fromColour, toColour, Gdiplus::WrapModeTile, &brush) != Gdiplus::Ok) return;
  fillRectangle(graphics.get(), brush, x, y, width, height);
  DeleteBrush(brush);
}

SIZE MeasureText(HDC dc, std::string_view text) {
  const std::wstring wide = WideFromUtf8(text);
  RECT bounds = {};
  const int height = DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &bounds,
                               DT_CALCRECT | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX);
  SIZE extent = {};
  GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
  return {std::max<LONG>(bounds.right - bounds.left, extent.cx), height};
}

void DrawTextAt(HDC dc, int x, int y, std::string_view text) {
  const std::wstring wide = WideFromUtf8(text);
  RECT place = {x, y, x, y};
  DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &place, DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX);
}
