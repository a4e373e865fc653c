#pragma once
// The per-user entry in the platform's list of installed programs, and the
// removal of a machine-wide one an earlier installation may have left.

#include <windows.h>

#include <string>

#include "script/config.h"

// Writes the entry for `destination` under `root` (HKEY_CURRENT_USER is
// taken as the interactive user's hive); nothing when the script has no
// uninstall information, and nothing but a WARNING line when it names no
// entry (no title).
void WriteUninstallEntry(const InstallerConfig& config, const std::string& destination, HKEY root);

// Deletes the entry under `root` (used as given); nothing without a title.
// Results are not reported.
void RemoveUninstallEntry(const InstallerConfig& config, HKEY root);
