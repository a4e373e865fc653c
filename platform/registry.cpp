#include "registry.h"

#include "guards.h"
#include "text.h"

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
