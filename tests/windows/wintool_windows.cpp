// wintool's commands that drive windows: message boxes, the wizard's
// window and its controls, its pixels and pages.

#include "wintool.h"

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <string>
#include <vector>

#include "try/dc_pixels.h"

namespace wintool {

namespace {

int ButtonId(const std::wstring& name) {
  static const struct { const wchar_t* name; int id; } kButtons[] = {
      {L"ok", IDOK}, {L"cancel", IDCANCEL}, {L"yes", IDYES}, {L"no", IDNO},
      {L"retry", IDRETRY}, {L"abort", IDABORT}, {L"ignore", IDIGNORE}};
  for (const auto& button : kButtons)
    if (name == button.name) return button.id;
  return 0;
}

}  // namespace

int Click(const Args& args) {
  const int id = ButtonId(args[1]);
  if (id == 0) return 2;
  const DWORD timeout = args.size() > 2 ? wcstoul(args[2].c_str(), nullptr, 10) : 20000;
  HWND box = WaitForWindow(L"#32770", args[0].c_str(), timeout);
  if (box == nullptr) {
    std::printf("no message box \"%s\"\n", Utf8(args[0]).c_str());
    return 1;
  }
  wchar_t text[4096] = L"";
  GetDlgItemTextW(box, 0xFFFF, text, 4096);  // the static text of a message box
  std::printf("%s\n", Utf8(text).c_str());
  std::fflush(stdout);
  HWND button = GetDlgItem(box, id);
  if (button != nullptr)
    SendMessageW(button, BM_CLICK, 0, 0);
  else
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  return 0;
}

int Find(const Args& args) {
  const DWORD timeout = args.size() > 2 ? wcstoul(args[2].c_str(), nullptr, 10) : 0;
  return WaitForWindow(args[0].c_str(), args[1].c_str(), timeout) ? 0 : 1;
}

int Close(const Args& args) {
  HWND window = FindWindowW(args[0].c_str(), args[1].c_str());
  return window != nullptr && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
}

int ShowBox(const Args& args) {
  UINT type = MB_OK;
  if (args[2] == L"retrycancel") type = MB_RETRYCANCEL;
  if (args[2] == L"yesno") type = MB_YESNO;
  return MessageBoxW(nullptr, args[1].c_str(), args[0].c_str(), type);
}

int Window(const Args& args) {
  const DWORD timeout = args.size() > 1 ? wcstoul(args[1].c_str(), nullptr, 10) : 0;
  HWND window = WaitForClass(args[0], timeout);
  if (window == nullptr) return 1;
  wchar_t title[512] = L"";
  GetWindowTextW(window, title, 512);
  RECT client = {}, outer = {};
  GetClientRect(window, &client);
  GetWindowRect(window, &outer);
  std::printf("title=%s\nclient=%ldx%ld\nouter=%ldx%ld\nposition=%ld,%ld\nvisible=%d\n", Utf8(title).c_str(),
              client.right, client.bottom, outer.right - outer.left, outer.bottom - outer.top, outer.left, outer.top,
              IsWindowVisible(window) ? 1 : 0);
  return 0;
}

namespace {

BOOL CALLBACK PrintChild(HWND child, LPARAM parent) {
  if (GetParent(child) != reinterpret_cast<HWND>(parent)) return TRUE;
  wchar_t className[128] = L"", text[1024] = L"";
  GetClassNameW(child, className, 128);
  // GetWindowText does not reach an edit control's text in another process.
  SendMessageW(child, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  RECT place = {};
  GetWindowRect(child, &place);
  MapWindowPoints(nullptr, reinterpret_cast<HWND>(parent), reinterpret_cast<POINT*>(&place), 2);
  std::printf("id=%d class=%s x=%ld y=%ld w=%ld h=%ld visible=%d enabled=%d check=%d style=%08lX text=%s\n",
              GetDlgCtrlID(child), Utf8(className).c_str(), place.left, place.top, place.right - place.left,
              place.bottom - place.top, IsWindowVisible(child) ? 1 : 0, IsWindowEnabled(child) ? 1 : 0,
              static_cast<int>(SendMessageW(child, BM_GETCHECK, 0, 0)),
              static_cast<unsigned long>(GetWindowLongW(child, GWL_STYLE)), Utf8(text).c_str());
  return TRUE;
}

}  // namespace

int Children(const Args& args) {
  HWND window = WaitForClass(args[0], 0);
  if (window == nullptr) return 1;
  EnumChildWindows(window, PrintChild, reinterpret_cast<LPARAM>(window));
  return 0;
}

namespace {

HWND Child(const std::vector<std::wstring>& args) {
  HWND window = WaitForClass(args[0], 0);
  return window != nullptr ? GetDlgItem(window, static_cast<int>(wcstol(args[1].c_str(), nullptr, 10))) : nullptr;
}

}  // namespace

int SetText(const Args& args) {
  HWND child = Child(args);
  return child != nullptr && SendMessageW(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[2].c_str())) ? 0 : 1;
}

int SetCheck(const Args& args) {
  HWND child = Child(args);
  if (child == nullptr) return 1;
  SendMessageW(child, BM_SETCHECK, args[2] == L"1" ? BST_CHECKED : BST_UNCHECKED, 0);
  return 0;
}

int Command(const Args& args) {
  HWND window = WaitForClass(args[0], 0);
  if (window == nullptr) return 1;
  const int id = static_cast<int>(wcstol(args[1].c_str(), nullptr, 10));
  return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(GetDlgItem(window, id))) ? 0 : 1;
}

int Key(const Args& args) {
  HWND window = WaitForClass(args[0], 0);
  if (window == nullptr) return 1;
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  HWND target = window;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus != nullptr)
    target = info.hwndFocus;
  const WPARAM key = wcstoul(args[1].c_str(), nullptr, 10);
  const UINT scan = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, key, 1 | (scan << 16));
  PostMessageW(target, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
  return 0;
}

int Post(const Args& args) {
  HWND window = WaitForClass(args[0], 0);
  return window != nullptr && PostMessageW(window, wcstoul(args[1].c_str(), nullptr, 10), 0, 0) ? 0 : 1;
}

int Pixels(const Args& args) {
  HWND window = WaitForClass(args[0], 0);
  if (window == nullptr) return 1;
  RECT client = {};
  GetClientRect(window, &client);
  HDC dc = GetDC(window);
  const std::vector<std::uint32_t> pixels = CopyPixels(dc, 0, 0, client.right, client.bottom);
  ReleaseDC(window, dc);
  if (pixels.empty()) return 1;
  for (std::size_t i = 1; i + 1 < args.size(); i += 2) {
    const long x = wcstol(args[i].c_str(), nullptr, 10), y = wcstol(args[i + 1].c_str(), nullptr, 10);
    if (x < 0 || y < 0 || x >= client.right || y >= client.bottom) {
      std::printf("outside\n");
      continue;
    }
    std::printf("%06lX\n", static_cast<unsigned long>(pixels[static_cast<std::size_t>(y * client.right + x)]));
  }
  return 0;
}

int DpiChanged(const Args& args) {
  HWND window = WaitForClass(args[0], 0);
  if (window == nullptr) return 1;
  const WORD dpi = static_cast<WORD>(wcstoul(args[1].c_str(), nullptr, 10));
  const RECT suggested = {wcstol(args[2].c_str(), nullptr, 10), wcstol(args[3].c_str(), nullptr, 10),
                          wcstol(args[4].c_str(), nullptr, 10), wcstol(args[5].c_str(), nullptr, 10)};
  // The message carries a pointer, which Wine does not carry over to another
  // process: the rectangle is put into the window's own process.
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
  if (process == nullptr) return 1;
  void* remote = VirtualAllocEx(process, nullptr, sizeof suggested, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  bool sent = false;
  if (remote != nullptr && WriteProcessMemory(process, remote, &suggested, sizeof suggested, nullptr)) {
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote));
    sent = true;
  }
  if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return sent ? 0 : 1;
}

int TextWidth(const Args& args) {
  HWND edit = Child(args);
  if (edit == nullptr) return 1;
  wchar_t text[1024] = L"";
  const int length = static_cast<int>(SendMessageW(edit, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text)));
  if (length < 2) return 1;
  // A font handle means nothing in another process; where the control puts
  // its characters tells its font.
  const int first = LOWORD(SendMessageW(edit, EM_POSFROMCHAR, 0, 0));
  const int last = LOWORD(SendMessageW(edit, EM_POSFROMCHAR, length - 1, 0));
  HFONT font = CreateFontW(static_cast<int>(wcstol(args[3].c_str(), nullptr, 10)), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                           FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH, args[2].c_str());
  HDC screen = GetDC(nullptr);
  HGDIOBJ replaced = SelectObject(screen, font);
  SIZE extent = {};
  GetTextExtentPoint32W(screen, text, length - 1, &extent);
  SelectObject(screen, replaced);
  ReleaseDC(nullptr, screen);
  // Equal widths say little when both fall back to the same substitute.
  const std::wstring face = ResolvedFace(font);
  DeleteObject(font);
  std::printf("control=%d font=%ld face=%s\n", last - first, extent.cx, Utf8(face).c_str());
  return 0;
}

int EditView(const Args& args) {
  HWND edit = Child(args);
  if (edit == nullptr) return 1;
  RECT client = {};
  GetClientRect(edit, &client);
  // A child of another process has no surface of its own to read here: its
  // pixels are read through its top-level window.
  HWND top = GetAncestor(edit, GA_ROOT);
  POINT origin = {0, 0};
  MapWindowPoints(edit, top, &origin, 1);
  HDC dc = GetDC(top);
  const std::vector<std::uint32_t> pixels = CopyPixels(dc, origin.x, origin.y, client.right, client.bottom);
  ReleaseDC(top, dc);
  if (pixels.empty()) return 1;
  // Text is black on white: a pixel with any channel below half is ink.
  int ink = -1;
  for (int x = 0; x < client.right && ink < 0; ++x)
    for (int y = 0; y < client.bottom && ink < 0; ++y) {
      const std::uint32_t pixel = pixels[static_cast<std::size_t>(y * client.right + x)];
      if (((pixel >> 16) & 0xFF) < 0x80 || ((pixel >> 8) & 0xFF) < 0x80 || (pixel & 0xFF) < 0x80) ink = x;
    }
  const LRESULT margins = SendMessageW(edit, EM_GETMARGINS, 0, 0);
  const LRESULT start = SendMessageW(edit, EM_POSFROMCHAR, 0, 0);
  std::printf("margin=%d first=%d start=%d ink=%d\n", LOWORD(margins),
              static_cast<int>(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0)), static_cast<short>(LOWORD(start)),
              ink);
  return 0;
}

namespace {

// Answers a message box the wizard's thread shows (OK, No or Cancel), which
// would otherwise keep the window from closing.
BOOL CALLBACK AnswerBox(HWND box, LPARAM) {
  wchar_t className[16] = L"";
  GetClassNameW(box, className, 16);
  if (std::wcscmp(className, L"#32770") != 0 || !IsWindowVisible(box)) return TRUE;
  for (int id : {IDOK, IDNO, IDCANCEL})
    if (HWND button = GetDlgItem(box, id)) {
      PostMessageW(button, BM_CLICK, 0, 0);
      break;
    }
  return TRUE;
}

}  // namespace

int Dismiss(const Args& args) {
  const DWORD timeout = wcstoul(args[1].c_str(), nullptr, 10);
  const DWORD start = GetTickCount();
  HWND window = WaitForClass(args[0], timeout);
  if (window == nullptr) return 1;
  while (IsWindow(window)) {
    if (GetTickCount() - start >= timeout) return 1;
    PostMessageW(window, WM_CLOSE, 0, 0);
    EnumThreadWindows(GetWindowThreadProcessId(window, nullptr), AnswerBox, 0);
    Sleep(100);
  }
  return 0;
}

}  // namespace wintool
