#pragma once
// Wine's registry files (user.reg, system.reg) as the prefix keeps them on
// disk. Needs no Wine and no Windows API.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace quenlith_try {

// One value of a registry key as Wine's registry file stores it.
struct RegistryValue {
  std::string name;  // empty for the key's default value
  std::string type;  // "REG_SZ", "REG_EXPAND_SZ", "REG_MULTI_SZ", "REG_DWORD", "REG_BINARY", "REG_QWORD", "hex(N)"
  std::string data;  // the text; a DWORD in decimal; other types as Wine's hexadecimal bytes
};

// A Wine registry file (user.reg, system.reg): key path (single backslashes,
// as Windows names it below the file's root) to its values in file order.
// Throws std::runtime_error when the file cannot be read.
using RegistryFile = std::map<std::string, std::vector<RegistryValue>>;
RegistryFile ReadRegistryFile(const std::filesystem::path& path);
// The same, from the file's text.
RegistryFile ParseRegistryText(const std::string& text);

}  // namespace quenlith_try
