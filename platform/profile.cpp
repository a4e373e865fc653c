#include "platform/profile.h"

#include <windows.h>

#include <vector>

#include "platform/text.h"

bool WriteProfileValue(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& value) {
  return WritePrivateProfileStringW(WideFromUtf8(section).c_str(), WideFromUtf8(key).c_str(),
                                    WideFromUtf8(value).c_str(), WideFromUtf8(path).c_str()) != FALSE;
}

int ReadProfileInt(const std::string& path, const std::string& section, const std::string& key, int fallback) {
  return static_cast<int>(GetPrivateProfileIntW(WideFromUtf8(section).c_str(), WideFromUtf8(key).c_str(), fallback,
                                                WideFromUtf8(path).c_str()));
}

std::string ReadProfileValue(const std::string& path, const std::string& section, const std::string& key,
                             const std::string& fallback, unsigned maxChars) {
  std::vector<wchar_t> buffer(maxChars + 1, L'\0');
  const DWORD length =
      GetPrivateProfileStringW(WideFromUtf8(section).c_str(), WideFromUtf8(key).c_str(), WideFromUtf8(fallback).c_str(),
                               buffer.data(), maxChars + 1, WideFromUtf8(path).c_str());
  return Utf8FromWide(std::wstring_view(buffer.data(), length));
}
