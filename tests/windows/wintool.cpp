// Small Windows-side operations for the test harness, one per command:
//   click CAPTION BUTTON [TIMEOUT_MS]  answer a message box: prints its text, then
//                                      presses ok, cancel, yes, no, retry, abort or ignore
//   find CLASS TITLE [TIMEOUT_MS]      wait for a top-level window; exit 0 when found
//   close CLASS TITLE                  ask a top-level window to close
//   msgbox CAPTION TEXT TYPE           show a message box (TYPE ok, retrycancel, yesno);
//                                      exits with the button id pressed
//   regset KEY NAME dword|sz VALUE     write a value under HKEY_CURRENT_USER\KEY
//   version FILE                       print the FileVersion text of the first translation
//   trust FILE                         print WinVerifyTrust's result in hexadecimal
//   resources FILE                     print the manifest and the sizes in icon group 138
//   trustca FILE                       add a PEM certificate to the user's trusted roots
//   hold FILE none|delete SECONDS      keep FILE open for reading, sharing nothing or only
//                                      renames and deletes, for SECONDS; prints "held" once open
//   tamper FILE                        try what another program of the same user could do to
//                                      FILE: open it for writing, delete it, rename it; prints
//                                      one line per attempt ("write ok" or "write refused N",
//                                      N the Windows error) and exits with the number that worked
//   window CLASS [TIMEOUT_MS]          wait for a top-level window of CLASS; prints its title,
//                                      client size, position and visibility
//   children CLASS                     one line per child: id, class, client rectangle,
//                                      visible, enabled, check state, text
//   settext CLASS ID TEXT              set a child's text (an edit raises EN_CHANGE)
//   setcheck CLASS ID 0|1              tick or clear a check box
//   command CLASS ID                   post WM_COMMAND with ID, as a click on that button
//   key CLASS VK                       post a key press (decimal virtual-key code) to the
//                                      focused control, through the target's own message loop
//   post CLASS MESSAGE                 post a message (decimal) with wParam and lParam 0
//   pixels CLASS X Y [X Y ...]         print the client-area colour at each point as RRGGBB
//   dpichanged CLASS DPI L T R B       send WM_DPICHANGED for DPI with the suggested outer
//                                      rectangle L, T, R, B, as a move to another monitor does
//   textwidth CLASS ID FACE HEIGHT     print the width the edit control ID gives its text
//                                      (but the last character) and the width of that text in
//                                      a font of FACE and HEIGHT made here: equal when the
//                                      control uses such a font
//   editview CLASS ID                  print how the edit control ID shows its text: its
//                                      left margin, its first visible character, where
//                                      character 0 starts, and the leftmost client column
//                                      holding a dark pixel (-1 for none)
//   dismiss CLASS TIMEOUT_MS           wait for the window, then close it (again and again
//                                      while it refuses, answering its thread's message boxes)
//                                      until it is gone
//   iniwrite FILE SECTION KEY VALUE [KEY VALUE ...]
//                                      write the keys one call at a time through the system
//   waitchild CLASS ID TIMEOUT_MS      wait until the window shows a visible child with ID
//   floor ARCHIVE DESTINATION          make the files of a payload archive below DESTINATION
//                                      with nothing but the system calls an installation
//                                      cannot do without (each folder created and opened to
//                                      the Users group once, each file created, written,
//                                      stamped and closed); prints the seconds it took
//   crash                              fault in a thread other than the main one
// Exit codes: 0 done, 1 not found or failed, 2 usage.

#include <windows.h>
#include <shellapi.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "dc_pixels.h"
#include "formats/archive.h"
#include "formats/layout.h"
#include "platform/permissions.h"

namespace {

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (true) {
    if (HWND window = FindWindowW(className, title)) return window;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(50);
  }
}

int ButtonId(const std::wstring& name) {
  static const struct { const wchar_t* name; int id; } kButtons[] = {
      {L"ok", IDOK}, {L"cancel", IDCANCEL}, {L"yes", IDYES}, {L"no", IDNO},
      {L"retry", IDRETRY}, {L"abort", IDABORT}, {L"ignore", IDIGNORE}};
  for (const auto& button : kButtons)
    if (name == button.name) return button.id;
  return 0;
}

int Click(const std::vector<std::wstring>& args) {
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

int Find(const std::vector<std::wstring>& args) {
  const DWORD timeout = args.size() > 2 ? wcstoul(args[2].c_str(), nullptr, 10) : 0;
  return WaitForWindow(args[0].c_str(), args[1].c_str(), timeout) ? 0 : 1;
}

int Close(const std::vector<std::wstring>& args) {
  HWND window = FindWindowW(args[0].c_str(), args[1].c_str());
  return window != nullptr && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
}

int ShowBox(const std::vector<std::wstring>& args) {
  UINT type = MB_OK;
  if (args[2] == L"retrycancel") type = MB_RETRYCANCEL;
  if (args[2] == L"yesno") type = MB_YESNO;
  return MessageBoxW(nullptr, args[1].c_str(), args[0].c_str(), type);
}

int RegSet(const std::vector<std::wstring>& args) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, args[0].c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return 1;
  LONG status;
  if (args[2] == L"dword") {
    const DWORD value = wcstoul(args[3].c_str(), nullptr, 10);
    status = RegSetValueExW(key, args[1].c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  } else {
    status = RegSetValueExW(key, args[1].c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(args[3].c_str()),
                            static_cast<DWORD>((args[3].size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? 0 : 1;
}

int Version(const std::vector<std::wstring>& args) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(args[0].c_str(), &ignored);
  if (size == 0) return 1;
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(args[0].c_str(), 0, size, data.data())) return 1;
  WORD* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
      length < 4)
    return 1;
  wchar_t query[64];
  swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", translation[0], translation[1]);
  wchar_t* text = nullptr;
  if (!VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&text), &length) || length == 0) return 1;
  std::printf("%s\n", Utf8(text).c_str());
  return 0;
}

int Trust(const std::vector<std::wstring>& args) {
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = args[0].c_str();
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  std::printf("0x%08lX\n", static_cast<unsigned long>(result));
  return 0;
}

int Resources(const std::vector<std::wstring>& args) {
  HMODULE module = LoadLibraryExW(args[0].c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return 1;
  if (HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
    std::printf("%.*s\n", static_cast<int>(SizeofResource(module, manifest)), text);
  }
  if (HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(138), MAKEINTRESOURCEW(14))) {
    // GRPICONDIR: 3 words, then 14-byte entries starting with width and height (0 means 256).
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    const WORD count = *reinterpret_cast<const WORD*>(data + 4);
    for (WORD i = 0; i < count; ++i) {
      const BYTE* entry = data + 6 + 14 * i;
      std::printf("icon %dx%d\n", entry[0] ? entry[0] : 256, entry[1] ? entry[1] : 256);
    }
  }
  FreeLibrary(module);
  return 0;
}

int TrustCa(const std::vector<std::wstring>& args) {
  HANDLE file = CreateFileW(args[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  char pem[16384];
  DWORD size = 0;
  const BOOL read = ReadFile(file, pem, sizeof pem, &size, nullptr);
  CloseHandle(file);
  if (!read) return 1;
  BYTE der[8192];
  DWORD derSize = sizeof der;
  if (!CryptStringToBinaryA(pem, size, CRYPT_STRING_BASE64HEADER, der, &derSize, nullptr, nullptr)) return 1;
  return CertAddEncodedCertificateToSystemStoreW(L"Root", der, derSize) ? 0 : 1;
}

int Hold(const std::vector<std::wstring>& args) {
  const DWORD share = args[1] == L"delete" ? FILE_SHARE_READ | FILE_SHARE_DELETE : 0;
  HANDLE file = CreateFileW(args[0].c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::printf("held\n");
  std::fflush(stdout);
  Sleep(wcstoul(args[2].c_str(), nullptr, 10) * 1000);
  CloseHandle(file);
  return 0;
}

int Tamper(const std::vector<std::wstring>& args) {
  const std::wstring& path = args[0];
  int worked = 0;
  auto report = [&worked](const char* what, bool ok) {
    const DWORD error = GetLastError();
    if (ok) {
      ++worked;
      std::printf("%s ok\n", what);
    } else {
      std::printf("%s refused %lu\n", what, static_cast<unsigned long>(error));
    }
  };
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  report("write", file != INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  report("delete", DeleteFileW(path.c_str()) != FALSE);
  const std::wstring moved = path + L".moved";
  const bool renamed = MoveFileW(path.c_str(), moved.c_str()) != FALSE;
  report("rename", renamed);
  if (renamed) MoveFileW(moved.c_str(), path.c_str());
  std::fflush(stdout);
  return worked;
}

HWND WaitForClass(const std::wstring& className, DWORD timeoutMs) {
  return WaitForWindow(className.c_str(), nullptr, timeoutMs);
}

int Window(const std::vector<std::wstring>& args) {
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

int Children(const std::vector<std::wstring>& args) {
  HWND window = WaitForClass(args[0], 0);
  if (window == nullptr) return 1;
  EnumChildWindows(window, PrintChild, reinterpret_cast<LPARAM>(window));
  return 0;
}

HWND Child(const std::vector<std::wstring>& args) {
  HWND window = WaitForClass(args[0], 0);
  return window != nullptr ? GetDlgItem(window, static_cast<int>(wcstol(args[1].c_str(), nullptr, 10))) : nullptr;
}

int SetText(const std::vector<std::wstring>& args) {
  HWND child = Child(args);
  return child != nullptr && SendMessageW(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[2].c_str())) ? 0 : 1;
}

int SetCheck(const std::vector<std::wstring>& args) {
  HWND child = Child(args);
  if (child == nullptr) return 1;
  SendMessageW(child, BM_SETCHECK, args[2] == L"1" ? BST_CHECKED : BST_UNCHECKED, 0);
  return 0;
}

int Command(const std::vector<std::wstring>& args) {
  HWND window = WaitForClass(args[0], 0);
  if (window == nullptr) return 1;
  const int id = static_cast<int>(wcstol(args[1].c_str(), nullptr, 10));
  return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(GetDlgItem(window, id))) ? 0 : 1;
}

int Key(const std::vector<std::wstring>& args) {
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

int Post(const std::vector<std::wstring>& args) {
  HWND window = WaitForClass(args[0], 0);
  return window != nullptr && PostMessageW(window, wcstoul(args[1].c_str(), nullptr, 10), 0, 0) ? 0 : 1;
}

int Pixels(const std::vector<std::wstring>& args) {
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

int DpiChanged(const std::vector<std::wstring>& args) {
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

int TextWidth(const std::vector<std::wstring>& args) {
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
  DeleteObject(font);
  std::printf("control=%d font=%ld\n", last - first, extent.cx);
  return 0;
}

int EditView(const std::vector<std::wstring>& args) {
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

int Dismiss(const std::vector<std::wstring>& args) {
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


// Writes keys of one section of a profile file one call at a time, as a
// reference for what such writes leave on disk.
int IniWrite(const std::vector<std::wstring>& args) {
  for (std::size_t i = 2; i + 1 < args.size(); i += 2)
    if (!WritePrivateProfileStringW(args[1].c_str(), args[i].c_str(), args[i + 1].c_str(), args[0].c_str())) return 1;
  return 0;
}

// Waits until the window of a class shows a visible child with an id (a
// page's button, say).
int WaitChild(const std::vector<std::wstring>& args) {
  const int id = static_cast<int>(wcstol(args[1].c_str(), nullptr, 10));
  const DWORD timeout = wcstoul(args[2].c_str(), nullptr, 10);
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout) {
    if (HWND window = FindWindowW(args[0].c_str(), nullptr))
      if (HWND child = GetDlgItem(window, id); child != nullptr && IsWindowVisible(child)) return 0;
    // Often enough to time a page closely, seldom enough not to slow the program watched.
    Sleep(20);
  }
  return 1;
}

// The platform's own cost of an extraction: what the installer's extraction
// takes beyond this is ours to win back.
int Floor(const std::vector<std::wstring>& args) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  std::ifstream archive(args[0].c_str(), std::ios::binary);
  unsigned char count[archive::kCountSize] = {};
  if (!archive.read(reinterpret_cast<char*>(count), sizeof count)) return 1;
  std::vector<archive::Entry> table(layout::ReadLe32(count));
  for (archive::Entry& entry : table) {
    unsigned char field[archive::kEntrySize];
    if (!archive.read(reinterpret_cast<char*>(field), sizeof field) || !archive::DecodeEntry(field, entry)) return 1;
  }
  std::string destination = Utf8(args[1]);
  if (destination.empty() || destination.back() != '\\') destination += '\\';
  std::set<std::string> folders;
  std::vector<char> block(1 << 20);
  const FILETIME stamp = {0, 0x01DC0000};
  for (const archive::Entry& entry : table) {
    for (std::size_t at = entry.name.find('\\'); at != std::string::npos; at = entry.name.find('\\', at + 1)) {
      const std::string folder = destination + entry.name.substr(0, at);
      if (!folders.insert(folder).second) continue;
      CreateDirectoryA(folder.c_str(), nullptr);
      OpenFolderToUsers(folder);
    }
    const HANDLE file = CreateFileA((destination + entry.name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    for (std::uint32_t left = entry.size; left > 0;) {
      const std::uint32_t piece = left < block.size() ? left : static_cast<std::uint32_t>(block.size());
      DWORD written = 0;
      if (!archive.read(block.data(), piece) || !WriteFile(file, block.data(), piece, &written, nullptr)) return 1;
      left -= piece;
    }
    SetFileTime(file, &stamp, &stamp, &stamp);
    CloseHandle(file);
  }
  QueryPerformanceCounter(&end);
  std::printf("%.3f\n", static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
  return 0;
}

DWORD WINAPI ReadNowhere(void*) {
  volatile int* nowhere = reinterpret_cast<int*>(-1);
  return static_cast<DWORD>(*nowhere);
}

int Crash(const std::vector<std::wstring>&) {
  const HANDLE thread = CreateThread(nullptr, 0, ReadNowhere, nullptr, 0, nullptr);
  if (thread) WaitForSingleObject(thread, 10000);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::vector<std::wstring> args(argv + (argc > 1 ? 2 : argc), argv + argc);
  const std::wstring command = argc > 1 ? argv[1] : L"";
  const struct {
    const wchar_t* name;
    std::size_t minArgs;
    int (*run)(const std::vector<std::wstring>&);
  } kCommands[] = {{L"click", 2, Click},    {L"find", 2, Find},       {L"close", 2, Close},
                   {L"msgbox", 3, ShowBox}, {L"regset", 4, RegSet},   {L"version", 1, Version},
                   {L"trust", 1, Trust},      {L"resources", 1, Resources}, {L"trustca", 1, TrustCa}, {L"hold", 3, Hold}, {L"tamper", 1, Tamper},
                   {L"window", 1, Window},  {L"children", 1, Children}, {L"settext", 3, SetText},
                   {L"setcheck", 3, SetCheck}, {L"command", 2, Command}, {L"key", 2, Key}, {L"post", 2, Post},
                   {L"pixels", 1, Pixels},  {L"dpichanged", 6, DpiChanged}, {L"textwidth", 4, TextWidth},
                   {L"editview", 2, EditView},
                   {L"dismiss", 2, Dismiss}, {L"waitchild", 3, WaitChild},
                   {L"iniwrite", 2, IniWrite}, {L"floor", 2, Floor},
                   {L"crash", 0, Crash}};
  for (const auto& entry : kCommands)
    if (command == entry.name && args.size() >= entry.minArgs) return entry.run(args);
  std::fprintf(stderr, "usage: wintool click|find|close|msgbox|regset|version|trust ...\n");
  return 2;
}
