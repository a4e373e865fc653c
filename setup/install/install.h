#pragma once
// The install sequence: waits for the product to close, unpacks the payload
// through a private temporary folder into the destination, and reports each
// finished stage to a window.

#include <windows.h>

#include <cstdint>
#include <string>

#include "script/config.h"

// One stage finished; sent, so the sequence waits until the window handled it.
inline constexpr UINT WM_SETUP_STEP = WM_USER + 6;
// Sent by the install thread once the sequence has returned (wizard mode).
inline constexpr UINT WM_SETUP_DONE = WM_USER + 2;

// What one installation works with.
struct InstallRequest {
  const InstallerConfig& config;
  WizardChoices choices;
  std::string& destination;  // given a trailing backslash by the sequence
  HWND window;               // receives the steps and holds the tray icon; may be none
  HINSTANCE module;          // the installer's own module, for the tray icon
  std::string package;       // the setup package whose payload is installed
  std::uint32_t payloadOffset;  // where its payload must start: the size of its installer image
};

// Installs the package's payload into the destination for the user's
// choices. Returns 0 after a complete installation, or the exit code of the
// failure that stopped it (its ERROR line and box are done). The temporary
// folder is gone on every return.
int RunInstallSequence(const InstallRequest& request);

// The shortcut families and the uninstall entry the script offers, each made
// when also chosen; one step to `window` (none: no steps) per offered family.
void CreateShortcutsAndEntry(const InstallerConfig& config, const WizardChoices& choices,
                             const std::string& destination, HWND window);
