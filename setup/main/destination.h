#pragma once
// Where the product is installed: the default destination from the script's
// keys and an earlier installation, and the silent run's choice.

#include <windows.h>

#include <string>

// The chosen installation folder (at most 259 characters, no trailing
// blanks); the install sequence appends a trailing backslash to it.
extern std::string destinationDir;

// The platform's program-files folder, "C:\Program Files" when unknown.
std::string ProgramFilesFolder();

// The program-files default location ("...\Quenlith\"); empty when too long.
std::string ProgramFilesLocation();

// The folder of an earlier installation registered under `root`
// (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER), ending in a backslash; empty
// when there is none.
std::string FindPreviousInstallation(HKEY root);

// The default destination the script's destination keys give; may be empty.
std::string DefaultDestination();

// The silent run's destination: the default, checked for space and
// created. Returns 0, or the exit code -4 (no space) or -3 (not writable).
int ChooseSilentDestination();

// The wizard's destination when the script chooses it: the default, or the
// path after "/location " on the command line, checked for space and
// created. False when the wizard must close.
bool ChooseAutomaticDestination(HWND window);

// The program-data default location ("...\Quenlith\bin\"); empty when the
// common application-data folder cannot be obtained.
std::string ProgramDataLocation();

// Wizard start-up: with an earlier installation outside the program-files
// and program-data locations, switches the script's flags so that the
// wizard asks for the location, pre-filled with that installation's folder.
void DecideLocationPrompt();
