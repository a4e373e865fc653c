#pragma once
// The restart with administrator rights from the location page, when the
// chosen folder cannot be created or written without them.

#include <string>

#include "script/config.h"

// Starts the installer's own file through the "runas" verb with the user's
// `choices` and the page's `destination` text on its command line. True when
// the new process started (this run then ends with 0); false when the user
// declined or the start failed.
bool RelaunchFromLocationPage(const WizardChoices& choices, const std::string& destination);
