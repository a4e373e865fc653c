#pragma once
// The interactive user of an elevated relaunch: the restarted copy runs as
// the elevated account, yet reads and writes the registry values and folders
// of the user who owns the desktop. In a run that is not an elevated
// relaunch, and whenever a step fails, everything falls back silently to the
// plain current user.

#include <windows.h>

#include <string>
#include <string_view>

// Whether the command line contains "/elevate" or "/noprogramfileselevation"
// (letter case significant); set once by start-up before anything else.
extern bool elevatedRelaunch;

// The desktop shell's access token (query and impersonate rights), or null.
// Computed at first use and kept for the run.
HANDLE ShellUserToken();

// HKEY_USERS when the shell user's identifier is known, else HKEY_CURRENT_USER.
HKEY UserRegistryRoot();

// `subKey` as it must be opened under UserRegistryRoot(): prefixed with the
// shell user's identifier and a backslash under HKEY_USERS.
std::string UserKeyPath(std::string_view subKey);
