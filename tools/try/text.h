#pragma once
// Small text helpers for the files a run leaves: program outputs, Wine's
// traces, the Windows text files `try` reports.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quenlith_try {

// The whole file as bytes; empty when it cannot be read.
std::string ReadText(const std::filesystem::path& path);

// `text` with every carriage return taken out (Windows line ends to '\n').
std::string WithoutCarriageReturns(std::string text);

// `text` up to its first line end.
std::string FirstLine(const std::string& text);

// True when `text` ends with `end`, ASCII letters compared without case.
bool EndsWithIgnoringCase(const std::string& text, const std::string& end);

// UTF-16 units to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8FromUnits(const std::vector<std::uint16_t>& units);

}  // namespace quenlith_try
