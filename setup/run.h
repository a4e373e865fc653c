#pragma once
// One run of the installer, from start-up to its exit code.

#include <windows.h>

// Runs the installer with the command line after the program name (narrow)
// and returns the process exit code.
int RunSetup(HINSTANCE instance, const char* commandLine);
