// Follows a wizard window until it closes and keeps a picture of each page it
// shows, for `quenlith-pack try --wizard`, the main job and the tests:
//   pagewatch CLASS FOLDER TIMEOUT_MS
// keeps the last whole picture of each page (location, installing, complete)
// as FOLDER\PAGE.ppm and prints each page's name when it first appears.
// Each picture's comment (kept as the PNG's "comment" text) and a line
// printed first name the face the wizard's font resolves to in this prefix
// ("font: Tahoma, as the wizard asks"), and the face asked for when the
// prefix lacks it, so a picture never silently shows another font.
// Exit codes: 0 the window closed, 1 it never appeared or was still open at
// the time-out, 2 usage.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <string>
#include <vector>

#include "platform/drawing.h"
#include "setup_ids.h"
#include "try/dc_pixels.h"

namespace {

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

HWND WaitForClass(const std::wstring& className, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (true) {
    if (HWND window = FindWindowW(className.c_str(), nullptr)) return window;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(50);
  }
}

// The wizard's page, told by its controls: the destination box on the
// location page, the launch button alone on the complete page, none while
// installing.
const wchar_t* PageOf(HWND window) {
  if (GetDlgItem(window, IDC_DESTINATION) != nullptr) return L"location";
  if (GetDlgItem(window, IDC_NEXT) != nullptr) return L"complete";
  return L"installing";
}

// The wizard's font made by the wizard's own rule at the window's DPI (this
// program's manifest lets it see the system version the installer sees,
// which picks the face), and the face it resolves to here.
std::string FontNote(HWND window) {
  const std::string asked = Utf8(GetUiFontFace());
  HFONT font = CreateUiFont(GetMonitorDpi(window));
  const std::string resolved = Utf8(ResolvedFace(font));
  DeleteObject(font);
  if (resolved == asked) return "font: " + resolved + ", as the wizard asks";
  return "font: " + (resolved.empty() ? std::string("unknown") : resolved) + ", not the \"" + asked +
         "\" the wizard asks for";
}

// The window as the screen shows it, caption included, as a binary PPM
// whose comment is `note`.
bool SaveWindowPicture(HWND window, const std::wstring& path, const std::string& note) {
  RECT outer = {};
  GetWindowRect(window, &outer);
  const int width = outer.right - outer.left, height = outer.bottom - outer.top;
  HDC screen = GetDC(nullptr);
  const std::vector<std::uint32_t> pixels = CopyPixels(screen, outer.left, outer.top, width, height);
  ReleaseDC(nullptr, screen);
  if (pixels.empty()) return false;
  std::string picture = "P6\n# " + note + "\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (const std::uint32_t pixel : pixels) {
    picture += static_cast<char>((pixel >> 16) & 0xFF);
    picture += static_cast<char>((pixel >> 8) & 0xFF);
    picture += static_cast<char>(pixel & 0xFF);
  }
  std::ofstream out(path.c_str(), std::ios::binary);
  return static_cast<bool>(out.write(picture.data(), static_cast<std::streamsize>(picture.size())));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: pagewatch CLASS FOLDER TIMEOUT_MS\n");
    return 2;
  }
  const std::wstring className = argv[1], folder = argv[2];
  const DWORD timeout = wcstoul(argv[3], nullptr, 10);
  const DWORD start = GetTickCount();
  HWND window = WaitForClass(className, timeout);
  if (window == nullptr) return 1;
  const std::string font = FontNote(window);
  std::printf("%s\n", font.c_str());
  std::fflush(stdout);
  std::wstring shown;
  while (IsWindow(window) && GetTickCount() - start < timeout) {
    if (IsWindowVisible(window)) {
      // A page may last only a moment: take a picture at every turn and keep
      // it only if the page did not change while it was taken.
      const std::wstring page = PageOf(window);
      const std::wstring file = folder + L"\\" + page + L".ppm";
      if (SaveWindowPicture(window, file + L".part", font) && IsWindow(window) && page == PageOf(window)) {
        MoveFileExW((file + L".part").c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
        if (page != shown) {
          std::printf("%s\n", Utf8(page).c_str());
          std::fflush(stdout);
          shown = page;
        }
      } else {
        DeleteFileW((file + L".part").c_str());
      }
    }
    Sleep(40);
  }
  return IsWindow(window) ? 1 : 0;
}
