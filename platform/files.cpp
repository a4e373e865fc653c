#include "platform/files.h"

#include <windows.h>

#include "platform/guards.h"
#include "platform/text.h"

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

bool ForEachDirectoryEntry(const std::string& pattern,
                           const std::function<void(const std::string& name, bool folder)>& visit) {
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(WideFromUtf8(pattern).c_str(), &data));
  if (!find) return false;
  do {
    visit(Utf8FromWide(data.cFileName), (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  } while (FindNextFileW(find.get(), &data));
  return true;
}

bool RemoveFolderUtf8(const std::string& path) { return RemoveDirectoryW(WideFromUtf8(path).c_str()) != FALSE; }

bool SamePathIgnoringCase(const std::string& left, const std::string& right) {
  const std::wstring a = WideFromUtf8(left);
  const std::wstring b = WideFromUtf8(right);
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}
