#pragma once
// Shortcuts to the installed product on the desktop, in the start menu and
// in the start-up folder, made for the interactive user and skipped when the
// same shortcut already exists for all users.

#include <optional>
#include <string>

#include "script/config.h"

// One shortcut per desktop entry of `config`.
void CreateDesktopShortcuts(const InstallerConfig& config, const std::string& destination);

// One shortcut per start-menu entry of `config`, in its folder
// setupStartMenuDirectory inside the programs folder (none when empty).
void CreateStartMenuShortcuts(const InstallerConfig& config, const std::string& destination);

void CreateStartupShortcut(const std::string& destination);

// Writes one shortcut; an absent value leaves that property unset, and the
// icon location (iconPath, 1) is set only when `resource` is not -1. The
// outcome is logged, never returned.
void CreateShellLink(const std::string& shortcutPath, const std::optional<std::string>& workingDirectory,
                     const std::optional<std::string>& targetPath, int resource,
                     const std::optional<std::string>& iconPath, const std::optional<std::string>& arguments,
                     const std::optional<std::string>& description);
