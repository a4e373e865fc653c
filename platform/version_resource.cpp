#include "platform/version_resource.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "platform/system_library.h"
#include "platform/text.h"

std::string FileVersionText(const std::string& path) {
  static const auto getSize =
      SystemFunction<decltype(::GetFileVersionInfoSizeW)>(L"version.dll", "GetFileVersionInfoSizeW");
  static const auto getInfo = SystemFunction<decltype(::GetFileVersionInfoW)>(L"version.dll", "GetFileVersionInfoW");
  static const auto queryValue = SystemFunction<decltype(::VerQueryValueW)>(L"version.dll", "VerQueryValueW");
  if (getSize == nullptr || getInfo == nullptr || queryValue == nullptr) return {};

  const std::wstring widePath = WideFromUtf8(path);
  DWORD ignored = 0;
  const DWORD size = getSize(widePath.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> data(size);
  if (!getInfo(widePath.c_str(), 0, size, data.data())) return {};
  WORD* translation = nullptr;
  UINT length = 0;
  if (!queryValue(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
      length < 2 * sizeof(WORD))
    return {};
  wchar_t query[64];
  swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", translation[0], translation[1]);
  wchar_t* text = nullptr;
  if (!queryValue(data.data(), query, reinterpret_cast<void**>(&text), &length) || length == 0) return {};
  return Utf8FromWide(text);
}
