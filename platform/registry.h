#pragma once
// Registry reads by UTF-8 key path.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

// The first 4 bytes of value `name` under `root`\`path`, whatever its type;
// none when the key or value cannot be read.
std::optional<std::uint32_t> ReadRegistryDword(HKEY root, const std::string& path, const std::string& name);
