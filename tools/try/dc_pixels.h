#pragma once
// Reading back what a device context shows, for the Windows-side tools and
// tests: its pixels, and the face a font really resolves to.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/drawing.h"

// The pixels of `dc` in the rectangle at `x`, `y`, `width` by `height`, row
// by row from the top, each as 0x00RRGGBB; empty when they cannot be copied.
inline std::vector<std::uint32_t> CopyPixels(HDC dc, int x, int y, int width, int height) {
  if (width <= 0 || height <= 0) return {};
  const BackBuffer copy(dc, width, height);
  if (copy.dc() == nullptr) return {};
  BitBlt(copy.dc(), 0, 0, width, height, dc, x, y, SRCCOPY);
  GdiFlush();
  std::vector<std::uint32_t> pixels(copy.bits(), copy.bits() + static_cast<std::size_t>(width) * height);
  for (std::uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
  return pixels;
}

// The face `font` resolves to on this system (GetTextFace on a DC with it
// selected): the requested face when that is installed, else the one the
// system substitutes ("DejaVu Sans" for a missing "Tahoma" under Wine).
// Empty when it cannot be told.
inline std::wstring ResolvedFace(HFONT font) {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return {};
  const HGDIOBJ previous = SelectObject(screen, font);
  wchar_t face[LF_FACESIZE] = L"";
  const int length = previous != nullptr ? GetTextFaceW(screen, LF_FACESIZE, face) : 0;
  if (previous != nullptr) SelectObject(screen, previous);
  ReleaseDC(nullptr, screen);
  return length > 0 ? std::wstring(face) : std::wstring();
}
