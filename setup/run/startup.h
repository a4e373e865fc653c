#pragma once
// Start-up and run control: the order of a run from the entry point to the
// choice between the silent run and the wizard, with every early exit.

#include <windows.h>

#include <string>

// Runs the installer with `commandLine`, the part after the program name in
// UTF-8, and returns the run's exit code; the entry point ends the process
// with it, which writes the log's closing lines.
int RunSetup(HINSTANCE instance, const std::string& commandLine);
