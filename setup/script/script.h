#pragma once
// ReadInstallerScript: loads the extracted installer script, with the
// command line's overrides.

#include <string_view>

#include "script/command_line.h"
#include "script/config.h"

// Reads the script's text (as copied out of the package); keys it lacks take
// their defaults. Each problem with a value is logged as a WARNING.
InstallerConfig ReadInstallerScript(std::string_view text, const CommandLine& commandLine);
