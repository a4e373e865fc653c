#pragma once
// The silent run: installs without the wizard, on the main thread, and
// returns the run's exit code.

#include "messages/exit_codes.h"

// Checks that the product is not running, chooses the destination, keeps a
// copy as new or newer (version check), otherwise installs, writes the
// plug-in list and launches; returns kExitSuccess or the code that ended it.
ExitCode RunSilent();
