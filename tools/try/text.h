#pragma once
// Small text helpers for the files a run leaves: program outputs, Wine's
// traces, the Windows text files `try` reports.

#include <filesystem>
#include <string>

namespace quenlith_try {

// The whole file as bytes; empty when it cannot be read.
std::string ReadText(const std::filesystem::path& path);

// `text` with every carriage return taken out (Windows line ends to '\n').
std::string WithoutCarriageReturns(std::string text);

// `text` up to its first line end.
std::string FirstLine(const std::string& text);

// True when `text` ends with `end`, ASCII letters compared without case.
bool EndsWithIgnoringCase(const std::string& text, const std::string& end);

}  // namespace quenlith_try
