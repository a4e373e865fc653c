#pragma once
// Process-wide records of one run, set by start-up and read everywhere.

#include <windows.h>

#include "main/command_line.h"
#include "main/config.h"

// The installer script's values after the command-line overrides. Until the
// script is read, installerSilent says what the command line asks for.
extern InstallerConfig installerConfig;

// The command line after the program name, set by start-up.
extern CommandLine setupCommandLine;

// The installer's own module, for resources and window classes.
extern HINSTANCE setupInstance;
