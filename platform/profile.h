#pragma once
// Private-profile (INI) files by UTF-8 path, section, key and value.

#include <string>

bool WriteProfileValue(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& value);
int ReadProfileInt(const std::string& path, const std::string& section, const std::string& key, int fallback);
// At most `maxChars` characters of the value, or `fallback` when absent.
std::string ReadProfileValue(const std::string& path, const std::string& section, const std::string& key,
                             const std::string& fallback, unsigned maxChars = 260);
