#include "shell.h"

#include <shlobj.h>

#include "text.h"

std::optional<std::string> ShellFolderPath(int csidl, HANDLE token) {
  PIDLIST_ABSOLUTE items = nullptr;
  if (FAILED(SHGetFolderLocation(nullptr, csidl, token, 0, &items)) || items == nullptr) return std::nullopt;
  wchar_t path[MAX_PATH];
  const BOOL found = SHGetPathFromIDListW(items, path);
  ILFree(items);
  if (!found) return std::nullopt;
  std::string narrow = Utf8FromWide(path);
  if (narrow.size() > MAX_PATH - 1) return std::nullopt;
  return narrow;
}

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  return MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(), type);
}
