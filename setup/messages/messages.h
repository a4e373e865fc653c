#pragma once
// Message boxes of the installer. A silent run shows none: an unattended
// installation must never wait for a button nobody sees.

#include <windows.h>

#include <string>

inline constexpr const char* kSetupErrorCaption = "Quenlith: Setup error";
inline constexpr const char* kInvalidSetupCaption = "Quenlith: Invalid setup file";
inline constexpr const char* kInvalidSetupMessage = "The setup file does not appear to be valid, please re-download.";
inline constexpr const char* kTemporaryFilesMessage =
    "Setup was unable to read or write its temporary files, please check disk space and try again.";

// Whether this run shows message boxes; start-up turns them off for a silent run.
void SetMessageBoxesShown(bool shown);

// Shows a modal box unless the run is silent; returns the button pressed, or
// `silentAnswer` without showing anything in a silent run.
int SetupMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type,
                    int silentAnswer = IDOK);
