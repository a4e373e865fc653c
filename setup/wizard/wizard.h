#pragma once
// The wizard window: its class, WizardProc with the page transitions, and
// the message loop of a wizard run.

#include <windows.h>

#include "messages/exit_codes.h"

// Registers the class, creates the window (which picks its first page and
// may start the install thread) and runs the message loop until the window
// is destroyed, then shuts GDI+ down. Returns kExitSuccess however the
// window ended (cancelled, closed, launched, refused its automatic
// destination, or after an elevated copy took over), kExitFailure when it
// could not be created at all. A failed installation does not return here:
// the install thread ends the process with its code (EndRunFromInstallThread).
ExitCode RunWizardWindow();

// Registers the class and creates the window, which sizes itself, picks its
// first page and may start the install thread. Null when it could not be
// made or ended itself while being created.
HWND CreateWizardWindow();

LRESULT CALLBACK WizardProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The state report for a cancel on the current page ("cancel_location", ...);
// nothing while installing or complete.
void ReportCancel();

// Frees the script values the wizard no longer needs before its window goes
// (the texts it draws stay).
void ReleaseInstallerConfig();
