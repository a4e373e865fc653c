#pragma once
// Checks a candidate destination before any file is written: free space on
// its drive, and a directory that exists (created with its parents) and can
// be written.

#include <windows.h>

#include <string>

// True to go on: enough free space for twice the installed size, a free
// space that cannot be measured, or an owner window whose user says go on.
bool CheckDiskSpace(HWND owner, const std::string& path);

// Creates `path` with any missing parents, proves a file can be written
// there and opens it to the Users group. Message boxes (unless `quiet`)
// tell about a directory that cannot be created. Leaves the working
// directory in `path` on success.
bool CreateAndValidateDirectory(const std::string& path, HWND owner, bool quiet);
