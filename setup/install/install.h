#pragma once
// The install sequence: waits for the product to close, unpacks the payload
// through a private temporary folder into the destination, and reports each
// finished stage to a window.

#include <windows.h>

#include <cstdint>
#include <string>

#include "messages/exit_codes.h"
#include "script/config.h"
#include "setup_ids.h"

// What one installation works with.
struct InstallRequest {
  const InstallerConfig& config;
  WizardChoices choices;
  std::string destination;   // chosen, created and checked; a trailing backslash is not needed
  HWND window;               // receives WM_SETUP_STEP and the end messages, holds the tray icon; may be none
  HINSTANCE module;          // the installer's own module, for the tray icon
  std::string package;       // the setup package whose payload is installed
  std::uint32_t payloadOffset;  // where its payload must start: the size of its installer image
};

// How an installation ended.
struct InstallResult {
  ExitCode code;            // kExitSuccess after a complete installation, else the failure's (line and box done)
  std::string destination;  // the request's destination with its trailing backslash, as every stage used it
};

// Installs the package's payload into the destination for the user's
// choices. The temporary folder is gone on every return.
InstallResult RunInstallSequence(const InstallRequest& request);

// The shortcut families and the uninstall entry the script offers, each made
// when also chosen; one step to `window` (none: no steps) per offered family.
void CreateShortcutsAndEntry(const InstallerConfig& config, const WizardChoices& choices,
                             const std::string& destination, HWND window);
