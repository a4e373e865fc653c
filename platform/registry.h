#pragma once
// Registry reads and writes by UTF-8 key path.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/guards.h"

// The first 4 bytes of value `name` under `root`\`path`, whatever its type;
// none when the key or value cannot be read.
std::optional<std::uint32_t> ReadRegistryDword(HKEY root, const std::string& path, const std::string& name);

// Creates or opens `root`\`path` with full access; an empty key when that
// fails, with the thread's last error set to the registry's status.
RegistryKey CreateRegistryKey(HKEY root, const std::string& path);

// Opens `root`\`path` for reading; the same on failure.
RegistryKey OpenRegistryKeyForReading(HKEY root, const std::string& path);

// Writes REG_SZ `value` (UTF-8, stored as UTF-16) under `name` (empty: the
// key's default value), with or without its terminator.
bool SetRegistryText(HKEY key, const std::string& name, const std::string& value, bool terminated = true);

bool SetRegistryDword(HKEY key, const std::string& name, std::uint32_t value);

// Deletes the key `root`\`path`, which must have no sub keys.
bool DeleteRegistryKey(HKEY root, const std::string& path);
