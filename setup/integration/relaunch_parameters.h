#pragma once
// The command line of the elevated restart from the location page. Needs no
// Windows API.

#include <string>
#include <string_view>

#include "script/config.h"

// "/elevate ", a switch with its trailing blank for each of `choices` that
// is 1 ("/startmenu ", "/desktop ", "/uninstall ", "/startup "), "/debug "
// when the log is on, then "/location " and `destination` unquoted and last,
// since the new process takes the rest of the line as the path.
std::string LocationRelaunchParameters(const WizardChoices& choices, bool logging, std::string_view destination);
