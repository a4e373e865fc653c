#pragma once
// The wizard's worker thread, which runs the install sequence behind the
// window and tells the window by messages.

#include <windows.h>

// Reports "installing" and starts the install thread for `window`; the
// thread is never waited for.
void StartInstallThread(HWND window);
