#pragma once
// Starting the installed product, after checking its signature.

#include <windows.h>

#include <string>
#include <vector>

#include "script/command_line.h"
#include "script/config.h"

// Whether `path` carries a valid Authenticode signature (revocation is not
// consulted); logs the trust result when it does not.
bool VerifySignature(const std::string& path);

// Starts launchTarget in `destination` with launchParameters, the
// destination as working directory, when its signature verifies. `owner`
// (the wizard, or none) is hidden first and told when the start fails.
void LaunchProduct(HWND owner, const InstallerConfig& config, const std::string& destination);

// Wizard start-up: when the script asks for the clean-up of an earlier
// machine-wide installation and one is registered, restarts the installer
// with administrator rights and the same arguments. True when it tried (this
// run then ends with 0 whether or not the restart began), false when none
// is needed.
bool RelaunchForCleanup(const InstallerConfig& config, const CommandLine& commandLine);

// The parameters of that restart: "/noprogramfileselevation " and the
// arguments after the program's own name, one blank between them.
std::string CleanupRelaunchParameters(const std::vector<std::string>& commandLine);
