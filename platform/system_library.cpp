#include "platform/system_library.h"

#include <cwchar>

namespace {

FARPROC KernelProcedure(const char* function) { return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), function); }

// The search flags exist where AddDllDirectory does (Windows 8, or 7 and
// Vista with update KB2533623); elsewhere LoadLibraryExW rejects them.
bool SearchFlagsSupported() { return KernelProcedure("AddDllDirectory") != nullptr; }

}  // namespace

HMODULE LoadLibraryBySystemPath(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || length + 1 + std::wcslen(name) >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  path[length] = L'\\';
  std::wcscpy(path + length + 1, name);
  // The library's own imports are then looked for in its folder first.
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

namespace {

HMODULE LoadFromSystemFolder(const wchar_t* name) {
  return SearchFlagsSupported() ? LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)
                                : LoadLibraryBySystemPath(name);
}

// Loaded libraries by name; a handful at most. A library that failed to
// load is tried again next time.
struct Loaded {
  wchar_t name[32];
  HMODULE module;
};
constexpr int kMaxLibraries = 16;
Loaded loaded[kMaxLibraries];
int loadedCount = 0;
SRWLOCK loadedLock = SRWLOCK_INIT;

}  // namespace

void RestrictLibraryLoading() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const auto setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(KernelProcedure("SetDefaultDllDirectories")));
  if (setDirectories != nullptr && setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  SetDllDirectoryW(L"");
}

HMODULE SystemLibrary(const wchar_t* name) {
  AcquireSRWLockExclusive(&loadedLock);
  HMODULE module = nullptr;
  for (int i = 0; i < loadedCount && module == nullptr; ++i)
    if (_wcsicmp(loaded[i].name, name) == 0) module = loaded[i].module;
  if (module == nullptr) {
    module = LoadFromSystemFolder(name);
    if (module != nullptr && loadedCount < kMaxLibraries && std::wcslen(name) < 32) {
      std::wcscpy(loaded[loadedCount].name, name);
      loaded[loadedCount++].module = module;
    }
  }
  const DWORD error = GetLastError();
  ReleaseSRWLockExclusive(&loadedLock);
  SetLastError(error);
  return module;
}

FARPROC SystemProcedure(const wchar_t* library, const char* function) {
  const HMODULE module = SystemLibrary(library);
  return module == nullptr ? nullptr : GetProcAddress(module, function);
}
