#pragma once
// Start-up and run control: the order of a run from the entry point to the
// choice between the silent run and the wizard, with every early exit.

#include <windows.h>

#include <string>

#include "messages/exit_codes.h"

// Runs the installer with `commandLine`, the part after the program name in
// UTF-8, and returns the run's exit code; the entry point ends the process
// with it, which writes the log's closing lines. (A failed installation
// behind the wizard ends the process from its install thread instead, see
// EndRunFromInstallThread.)
ExitCode RunSetup(HINSTANCE instance, const std::string& commandLine);
