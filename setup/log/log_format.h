#pragma once
// How the setup log's lines read. Needs no Windows API.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace log_format {

enum Level : int { kNormal = 0, kWarning = 1, kError = 2 };

// "NORMAL", "WARNING", "ERROR", or "UNKNOWN" for any other value.
const char* LevelName(int level);

// The part of `sourcePath` after its last separator (a backslash, or the
// forward slash that builds on other systems write), or all of it.
std::string_view SourceFileName(std::string_view sourcePath);

// `text` with every line feed shown as a backslash and "n".
std::string EscapeLineFeeds(std::string_view text);

// "[thread] LEVEL: file" followed by the call-site text (":line message").
std::string MessageEntry(long threadId, int level, std::string_view sourcePath, std::string_view callSiteText);

// One line of the file: "%08d\t%.8f\t%s \n".
std::string FileLine(std::int32_t counter, double elapsedSeconds, std::string_view entry);

// "Quenlith-setup-December.08.2026-04.48.15.log" for that local time; with an
// `index` above 0 (another run's log has the name) "...-04.48.15_<index>.log".
std::string LogFileName(const std::tm& localTime, int index = 0);

inline constexpr const char* kSeparator = "------------------------------";

}  // namespace log_format
