#pragma once
// The silent run's version check: a copy at the destination that is as new
// as the package or newer is not installed over; its shortcuts and
// uninstall entry are repaired once per user instead.

#include <optional>
#include <string>

#include "script/config.h"

// None when the installation goes on (the installed copy is older, or its
// version cannot be read); otherwise the run's exit code: 0 after launching
// the product (launchAuto), -2 without.
std::optional<int> CheckInstalledVersion(const InstallerConfig& config, const std::string& destination);
