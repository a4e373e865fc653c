#pragma once
// Comparing the installed product's version with the script's. Needs no
// Windows API.

#include <string>
#include <string_view>

// The program whose version the check reads: this name in the destination
// folder, its "FileVersion" text (version resource, first translation).
inline constexpr char kVersionedProgram[] = "quenlith.exe";

// Whether `installed` is lower than `wanted`: each is split at dots into at
// most four parts (empty parts skipped, parts after the fourth ignored),
// each part read as its leading decimal digits, missing parts counting 0.
bool CompareVersions(std::string_view installed, std::string_view wanted);

// A version resource's text as it is compared: blanks dropped, commas made
// dots ("6, 6, 0, 18" becomes "6.6.0.18").
std::string NormaliseVersionText(std::string_view text);
