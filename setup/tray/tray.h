#pragma once
// The notification-area icon shown while the install sequence works: passive,
// with the tip "Quenlith is installing...".

#include <windows.h>

#include <string>

void NewTrayGuid(GUID& guid);
// Adds the icon (identity: the window and its handle value as id); logs and returns the shell's answer.
BOOL AddTrayIcon(HWND window, HICON icon, const std::string& tip, const GUID& guid);
BOOL RemoveTrayIcon(HWND window, const GUID& guid);
