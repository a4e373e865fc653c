#pragma once
// The installed product's settings the installer seeds: the per-user
// "quenlith.ini" with its first-run and shortcut marks, and the plug-in list
// in the installation folder.

#include <optional>
#include <string>

#include "script/config.h"

// The per-user settings file, Quenlith\users\global\quenlith.ini under the
// interactive user's application-data folder, its folders created; none
// when that folder cannot be found.
std::optional<std::string> UserSettingsFile();

// Sets "FirstRun" and "Shortcuts" to 1 in the per-user settings file.
void MarkFirstRun();

// Appends the script's plug-ins to users\global\plugins.ini in `destination`.
void AddAutoInstallPlugins(const InstallerConfig& config, const std::string& destination);
