#pragma once
// Process-wide records of one run, filled by start-up and handed to the
// stages as what each needs.

#include <windows.h>

#include <string>

#include "script/command_line.h"
#include "script/config.h"

// The installer script's values after the command-line overrides. Until the
// script is read, installerSilent says what the command line asks for.
extern InstallerConfig installerConfig;

// The command line after the program name, set by start-up.
extern CommandLine setupCommandLine;

// The installer's own module, for resources and window classes.
extern HINSTANCE setupInstance;

// The chosen installation folder (at most 259 characters, no trailing
// blanks); the install sequence appends a trailing backslash to it.
extern std::string destinationDir;

// What the user chose to set up besides the files (the wizard's check boxes).
extern WizardChoices wizardChoices;
