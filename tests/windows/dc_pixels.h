#pragma once
// Reading back what a device context shows, for the Windows-side tools and tests.

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

// The pixels of `dc` in the rectangle at `x`, `y`, `width` by `height`, row
// by row from the top, each as 0x00RRGGBB; empty when they cannot be copied.
inline std::vector<std::uint32_t> CopyPixels(HDC dc, int x, int y, int width, int height) {
  std::vector<std::uint32_t> pixels;
  if (width <= 0 || height <= 0) return pixels;
  HDC memory = CreateCompatibleDC(dc);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) {
    HGDIOBJ replaced = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, dc, x, y, SRCCOPY);
    GdiFlush();
    pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    std::memcpy(pixels.data(), bits, pixels.size() * sizeof pixels[0]);
    for (std::uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    SelectObject(memory, replaced);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  return pixels;
}
