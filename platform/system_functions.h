#pragma once
// The functions the installer calls in system libraries it does not import,
// with their usual signatures, loaded from the system folder on first use
// (system_library.h). When a library or function cannot be loaded, each
// behaves as a failed call: the failure value, with the last error set.

#include <windows.h>
// Needs windows.h first.
#include <gdiplus.h>
#include <wininet.h>

namespace system_dll {

// comctl32; does nothing when the library is missing.
void InitCommonControls();

// gdiplus; Gdiplus::Win32Error when the library is missing.
Gdiplus::Status GdiplusStartup(ULONG_PTR* token, const Gdiplus::GdiplusStartupInput* input,
                               Gdiplus::GdiplusStartupOutput* output);
void GdiplusShutdown(ULONG_PTR token);

// wintrust; when the library is missing, the failure as an HRESULT of the
// last error.
LONG WinVerifyTrust(HWND window, GUID* action, void* data);

// wininet; nullptr or FALSE when the library is missing.
HINTERNET InternetOpenA(const char* agent, DWORD accessType, const char* proxy, const char* proxyBypass, DWORD flags);
HINTERNET InternetOpenUrlA(HINTERNET internet, const char* url, const char* headers, DWORD headersLength, DWORD flags,
                           DWORD_PTR context);
BOOL InternetCloseHandle(HINTERNET handle);

}  // namespace system_dll
