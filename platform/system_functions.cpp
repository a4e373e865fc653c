#include "platform/system_functions.h"

#include <commctrl.h>
#include <wintrust.h>

#include "platform/system_library.h"

namespace system_dll {
namespace {

// What a call returns when its function could not be loaded.
template <typename Result>
Result Missing(Result failure) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return failure;
}

}  // namespace

// Each function is looked up once per process and stays null when missing.

void InitCommonControls() {
  static const auto function = SystemFunction<decltype(::InitCommonControls)>(L"comctl32.dll", "InitCommonControls");
  if (function != nullptr) function();
}

Gdiplus::Status GdiplusStartup(ULONG_PTR* token, const Gdiplus::GdiplusStartupInput* input,
                               Gdiplus::GdiplusStartupOutput* output) {
  static const auto function = SystemFunction<decltype(Gdiplus::GdiplusStartup)>(L"gdiplus.dll", "GdiplusStartup");
  return function != nullptr ? function(token, input, output) : Missing(Gdiplus::Win32Error);
}

void GdiplusShutdown(ULONG_PTR token) {
  static const auto function = SystemFunction<decltype(Gdiplus::GdiplusShutdown)>(L"gdiplus.dll", "GdiplusShutdown");
  if (function != nullptr) function(token);
}

LONG WinVerifyTrust(HWND window, GUID* action, void* data) {
  static const auto function = SystemFunction<decltype(::WinVerifyTrust)>(L"wintrust.dll", "WinVerifyTrust");
  return function != nullptr ? function(window, action, data)
                             : Missing(static_cast<LONG>(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)));
}

HINTERNET InternetOpenA(const char* agent, DWORD accessType, const char* proxy, const char* proxyBypass, DWORD flags) {
  static const auto function = SystemFunction<decltype(::InternetOpenA)>(L"wininet.dll", "InternetOpenA");
  return function != nullptr ? function(agent, accessType, proxy, proxyBypass, flags) : Missing<HINTERNET>(nullptr);
}

HINTERNET InternetOpenUrlA(HINTERNET internet, const char* url, const char* headers, DWORD headersLength, DWORD flags,
                           DWORD_PTR context) {
  static const auto function = SystemFunction<decltype(::InternetOpenUrlA)>(L"wininet.dll", "InternetOpenUrlA");
  return function != nullptr ? function(internet, url, headers, headersLength, flags, context)
                             : Missing<HINTERNET>(nullptr);
}

BOOL InternetCloseHandle(HINTERNET handle) {
  static const auto function = SystemFunction<decltype(::InternetCloseHandle)>(L"wininet.dll", "InternetCloseHandle");
  return function != nullptr ? function(handle) : Missing<BOOL>(FALSE);
}

}  // namespace system_dll
