#pragma once
// Where the product is installed: the default destination from the script's
// keys and an earlier installation, the silent run's and the wizard's
// automatic choice, and the start-up decision whether to ask.

#include <windows.h>

#include <string>

#include "messages/exit_codes.h"
#include "script/command_line.h"
#include "script/config.h"

// The platform's program-files folder, "C:\Program Files" when unknown.
std::string ProgramFilesFolder();

// The program-files default location ("...\Quenlith\"); empty when too long.
std::string ProgramFilesLocation();

// The program-data default location ("...\Quenlith\bin\"); empty when the
// common application-data folder cannot be obtained.
std::string ProgramDataLocation();

// The folder of an earlier installation registered under `root`
// (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER) with the uninstall key `title`,
// ending in a backslash (PreviousInstallationFolder); empty when there is
// none, when its command names no folder, and when `title` is empty.
std::string FindPreviousInstallation(HKEY root, const std::string& title);

// The default destination the script's destination keys give; may be empty.
std::string DefaultDestination(const InstallerConfig& config);

// Whether the drive of `path` has room, or `owner` (none: nobody) chose to
// go on without it; false after the WARNING line.
bool AcceptDiskSpace(const InstallerConfig& config, const std::string& path, HWND owner);

// Creates `path` and proves it writable, telling `owner` (none: no owner)
// why not in a box; false after the WARNING line.
bool AcceptDirectory(const std::string& path, HWND owner);

// Checks `path` for space and creates it, asking `owner` (none: nobody) what
// the checks leave open; kExitSuccess, or the silent run's exit code
// kExitNoDiskSpace (-4) or kExitNotWritable (-3), each after its WARNING line.
ExitCode ValidateChosenDestination(const InstallerConfig& config, const std::string& path, HWND owner);

// The silent run's destination, into `destination`: the default, checked for
// space and created. Returns kExitSuccess, or kExitNoDiskSpace (-4) or
// kExitNotWritable (-3).
ExitCode ChooseSilentDestination(const InstallerConfig& config, std::string& destination);

// The wizard's destination when the script chooses it, into `destination`:
// the default, or the path after "/location " on the command line, checked
// for space and created. False when the wizard must close.
bool ChooseAutomaticDestination(HWND window, const InstallerConfig& config, const CommandLine& commandLine,
                                std::string& destination);

// Wizard start-up: with an earlier installation outside the program-files
// and program-data locations, switches the script's flags so that the
// wizard asks for the location, pre-filled with that installation's folder.
void DecideLocationPrompt(InstallerConfig& config);
