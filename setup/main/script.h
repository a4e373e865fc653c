#pragma once
// ReadInstallerScript: loads the extracted installer script into
// installerConfig, with the command line's overrides.

#include <string>

// Reads the script file at `scriptPath` (UTF-8 path). A file that cannot be
// read gives every key its default; nothing is reported.
void ReadInstallerScript(const std::string& scriptPath);
