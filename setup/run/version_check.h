#pragma once
// The silent run's version check: whether the copy at the destination is as
// new as the package or newer, and what the silent run does instead of
// installing over such a copy.

#include <string>

#include "messages/exit_codes.h"
#include "script/config.h"

// What the check found at the destination.
enum class InstalledVersion {
  kUnknown,      // no program, no support library (WARNING logged) or no readable version: install
  kOlder,        // lower than setupCheckVersionMax: install over it
  kAsNewOrNewer, // equal or higher: do not install
};

// Compares the version of the program at `destination` with
// `setupCheckVersionMax` (logging "Version comparison ..."); changes nothing.
InstalledVersion CheckInstalledVersion(const InstallerConfig& config, const std::string& destination);

// The silent run over a copy as new or newer: repairs, once per user, the
// shortcuts and the uninstall entry the script offers, then launches the
// product (launchAuto) and returns kExitSuccess, or returns kExitUpToDate.
ExitCode KeepUpToDateCopy(const InstallerConfig& config, const std::string& destination);
