#pragma once
// The key path under which an elevated run reaches the interactive user's
// registry hive. Needs no Windows API.

#include <string>
#include <string_view>

// `subKey` unchanged for the current user's own hive (empty `sid`);
// otherwise the user's security identifier, a backslash and `subKey`, to be
// opened under HKEY_USERS.
std::string UserKeyPathFor(std::string_view sid, std::string_view subKey);
