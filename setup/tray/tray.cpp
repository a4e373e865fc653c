#include "tray/tray.h"

#include <objbase.h>
#include <shellapi.h>

#include "log/setup_log.h"
#include "platform/text.h"

namespace {

// The tip is cut to 60 bytes before conversion, then to the field's 64 characters.
BOOL NotifyIcon(DWORD message, HWND window, UINT flags, HICON icon, const std::string& tip, const GUID& guid) {
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(window));
  data.uFlags = flags;
  data.hIcon = icon;
  data.guidItem = guid;
  const std::wstring wide = WideFromUtf8(tip.substr(0, 60));
  lstrcpynW(data.szTip, wide.c_str(), 64);
  return Shell_NotifyIconW(message, &data);
}

}  // namespace

void NewTrayGuid(GUID& guid) { CoCreateGuid(&guid); }

BOOL AddTrayIcon(HWND window, HICON icon, const std::string& tip, const GUID& guid) {
  const BOOL result = NotifyIcon(NIM_ADD, window, NIF_MESSAGE | NIF_ICON | NIF_TIP, icon, tip, guid);
  LOG_NORMAL("Created tray icon ({}).", result);
  return result;
}

BOOL RemoveTrayIcon(HWND window, const GUID& guid) {
  const BOOL result = NotifyIcon(NIM_DELETE, window, 0, nullptr, "Quenlith", guid);
  LOG_NORMAL("Removed tray icon ({}).", result);
  return result;
}
