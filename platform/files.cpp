#include "files.h"

#include <windows.h>

#include "guards.h"
#include "text.h"

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
  return _wfopen(WideFromUtf8(path).c_str(), WideFromUtf8(mode).c_str());
}

bool DeleteFileUtf8(const std::string& path) { return DeleteFileW(WideFromUtf8(path).c_str()) != FALSE; }

std::optional<std::uint32_t> DirectoryEntrySize(const std::string& path) {
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(WideFromUtf8(path).c_str(), &data));
  if (!find) return std::nullopt;
  return static_cast<std::uint32_t>(data.nFileSizeLow);
}

std::string OwnModulePath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return Utf8FromWide(std::wstring_view(path, length));
}

std::string TempFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, path);
  if (length == 0 || length >= MAX_PATH) return {};
  return Utf8FromWide(std::wstring_view(path, length));
}
