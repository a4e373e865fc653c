#pragma once
// Shell folders and message boxes, with UTF-8 strings.

#include <windows.h>

#include <optional>
#include <string>

// The path of shell folder `csidl` (CSIDL_DESKTOPDIRECTORY, ...) for the user
// of `token` (none: the current user); none when it cannot be obtained or
// is longer than 259 bytes.
std::optional<std::string> ShellFolderPath(int csidl, HANDLE token);

// A modal message box; returns the button pressed (IDOK, ...) or 0 on failure.
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);
