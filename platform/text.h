#pragma once
// Conversions at the platform edge: inside the installer strings are UTF-8,
// the Windows functions take UTF-16.

#include <string>
#include <string_view>
#include <vector>

// UTF-16 of `text`; invalid UTF-8 becomes replacement characters.
std::wstring WideFromUtf8(std::string_view text);
// UTF-8 of `text`.
std::string Utf8FromWide(std::wstring_view text);

// The process's command line after the program name, in UTF-8: the rest of
// the line after the first argument, which ends at the first blank outside
// quotes.
std::string CommandLineArgumentsUtf8();

// The process's full command line split into arguments by the platform's
// rule (quotes removed), the program first; empty when it cannot be split.
std::vector<std::string> SplitCommandLineUtf8();
