#pragma once
// ReadInstallerScript: loads the extracted installer script, with the
// command line's overrides.

#include <string>

#include "script/command_line.h"
#include "script/config.h"

// Reads the script file at `scriptPath` (UTF-8 path). A file that cannot be
// read gives every key its default; nothing is reported.
InstallerConfig ReadInstallerScript(const std::string& scriptPath, const CommandLine& commandLine);
