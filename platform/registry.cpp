#include "platform/registry.h"

#include "platform/guards.h"
#include "platform/text.h"

std::optional<std::uint32_t> ReadRegistryDword(HKEY root, const std::string& path, const std::string& name) {
  RegistryKey key;
  if (RegOpenKeyExW(root, WideFromUtf8(path).c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return std::nullopt;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExW(key.get(), WideFromUtf8(name).c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                       &size) != ERROR_SUCCESS)
    return std::nullopt;
  return value;
}

namespace {

// Registry calls return their status instead of setting the last error.
bool Succeeded(LSTATUS status) {
  SetLastError(static_cast<DWORD>(status));
  return status == ERROR_SUCCESS;
}

}  // namespace

RegistryKey CreateRegistryKey(HKEY root, const std::string& path) {
  RegistryKey key;
  if (!Succeeded(RegCreateKeyExW(root, WideFromUtf8(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS, nullptr, key.receive(), nullptr)))
    key.reset();
  return key;
}

RegistryKey OpenRegistryKeyForReading(HKEY root, const std::string& path) {
  RegistryKey key;
  if (!Succeeded(RegOpenKeyExW(root, WideFromUtf8(path).c_str(), 0, KEY_READ, key.receive()))) key.reset();
  return key;
}

bool SetRegistryText(HKEY key, const std::string& name, const std::string& value, bool terminated) {
  const std::wstring wide = WideFromUtf8(value);
  const DWORD bytes = static_cast<DWORD>((wide.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
  return Succeeded(RegSetValueExW(key, name.empty() ? nullptr : WideFromUtf8(name).c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(wide.c_str()), bytes));
}

bool SetRegistryDword(HKEY key, const std::string& name, std::uint32_t value) {
  const DWORD data = value;
  return Succeeded(RegSetValueExW(key, name.empty() ? nullptr : WideFromUtf8(name).c_str(), 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&data), sizeof data));
}

bool DeleteRegistryKey(HKEY root, const std::string& path) {
  return Succeeded(RegDeleteKeyW(root, WideFromUtf8(path).c_str()));
}
