#pragma once
// The install sequence: waits for the product to close, unpacks the payload
// through a private temporary folder into the destination, and reports each
// finished stage to a window.

#include <windows.h>

// One stage finished; sent, so the sequence waits until the window handled it.
inline constexpr UINT WM_SETUP_STEP = WM_USER + 6;
// Sent by the install thread once the sequence has returned (wizard mode).
inline constexpr UINT WM_SETUP_DONE = WM_USER + 2;

// Installs into destinationDir (given a trailing backslash here) for the
// user's four choices. Returns 0 after a complete installation, or the exit
// code of the failure that stopped it (its ERROR line and box are done).
// The temporary folder is gone on every return.
int RunInstallSequence(int startMenu, int desktop, int uninstall, int startup, HWND window);

// The shortcut families and the uninstall entry the script offers, each made
// when also chosen; one step to `window` (none: no steps) per offered family.
void CreateShortcutsAndEntry(int startMenu, int desktop, int startup, int uninstall, HWND window);
