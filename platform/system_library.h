#pragma once
// Libraries beyond the few the installer imports are loaded at run time from
// the system folder only, so that a DLL of the same name in the folder the
// installer was started from is never used.

#include <windows.h>

// Restricts later library loads to the system folder
// (SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) or, where that
// function is missing, at least takes the current folder out of the search
// (SetDllDirectoryW(L"")). Call first, before anything else runs.
void RestrictLibraryLoading();

// The library `name` (such as L"wininet.dll") loaded from the system folder,
// loaded once per process and kept; nullptr when it cannot be loaded (the
// last error then says why).
HMODULE SystemLibrary(const wchar_t* name);

// What SystemLibrary does where LoadLibraryExW lacks the search flags (before
// Windows 8 without update KB2533623): loads `name` by its full path in the
// system folder, uncached. Declared for the tests of that path.
HMODULE LoadLibraryBySystemPath(const wchar_t* name);

// Function `function` of the system library `library`; nullptr when the
// library or the function is missing.
FARPROC SystemProcedure(const wchar_t* library, const char* function);

// The same, typed: SystemFunction<decltype(::WinVerifyTrust)>(L"wintrust.dll", "WinVerifyTrust").
template <typename Function>
Function* SystemFunction(const wchar_t* library, const char* function) {
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(SystemProcedure(library, function)));
}
