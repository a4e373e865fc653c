#pragma once
// The rules behind the wizard's location page: the folder dialog's prompt
// and the path built from a picked folder, the reset to the default
// location, the default-location test, and the Next button's acceptance of
// the destination. The page itself reads and writes its controls.

#include <windows.h>

#include <optional>
#include <string>

#include "script/config.h"

// The text the folder dialog shows.
std::string FolderPrompt(const InstallerConfig& config);

// The destination text after the folder dialog returned `picked` (none: cancelled)
// while the page showed `current`.
std::string ComposeBrowsedDestination(const InstallerConfig& config, const std::string& current,
                                      const std::optional<std::string>& picked);

// The program-data default location when the script lets the page return
// to it; none when the reset button does nothing.
std::optional<std::string> RestoreDefaultLocation(const InstallerConfig& config);

// Whether `text` is not the program-data default location (the page then
// shows its notice); true when that location cannot be obtained.
bool IsOutsideDefaultLocation(const std::string& text);

enum class DestinationAnswer {
  kAccepted,    // destinationDir and wizardChoices are set: go on to install
  kRefused,     // stay on the page (the reason is logged and was shown)
  kRelaunched,  // an elevated copy took over: end this run with 0
};

// The Next button: stores the page's `boxes` (masked with the script's
// switches) in wizardChoices, checks `text` for space and creates it,
// restarting the installer elevated when the folder needs administrator
// rights. A `text` longer than the platform's paths (259 UTF-16 units) is
// refused. Boxes are owned by `page`.
DestinationAnswer ConfirmDestination(HWND page, const WizardChoices& boxes, const std::string& text);
