#pragma once
// Reading a program's version resource.

#include <string>

// The "FileVersion" text (UTF-8, as stored) of the first translation listed
// in the version resource of the file at `path`; empty when there is none or
// it cannot be read (also when version.dll cannot be loaded).
std::string FileVersionText(const std::string& path);
