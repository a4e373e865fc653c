#pragma once
// The user's digit grouping for the "{:L}" number form. MinGW's C++ library
// knows only the "C" locale, so the grouping is read from the system.

#include <locale>
#include <string>

// A locale whose numpunct groups digits as the user's settings say.
std::locale UserNumberLocale();

// A numpunct grouping string from a Windows grouping text such as "3;0"
// (groups of three, repeated), "3;2;0" (three, then twos) or "3" (one group
// of three, then none).
std::string NumpunctGrouping(const std::string& windowsGrouping);
