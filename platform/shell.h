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

// Starts `program` with `parameters` through the "runas" verb (the system's
// elevation prompt); true when the new process started.
bool StartElevated(const std::string& program, const std::string& parameters);

// What a shell link (.lnk) holds; an absent field is left unset.
struct ShellLinkFields {
  std::optional<std::string> target;
  std::optional<std::string> workingDirectory;
  std::optional<std::string> description;
  std::optional<std::string> arguments;
  std::optional<std::string> iconPath;  // with icon index 1
};

// Writes the shell link `path` (overwriting it), with COM initialised for the
// calling thread while it works; returns the first failing code, or S_OK.
HRESULT WriteShellLink(const std::string& path, const ShellLinkFields& fields);
