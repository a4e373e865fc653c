#include "log/log_format.h"

#include <cstdio>

namespace log_format {

const char* LevelName(int level) {
  switch (level) {
    case kNormal: return "NORMAL";
    case kWarning: return "WARNING";
    case kError: return "ERROR";
    default: return "UNKNOWN";
  }
}

std::string_view SourceFileName(std::string_view sourcePath) {
  const std::size_t separator = sourcePath.find_last_of("\\/");
  return separator == std::string_view::npos ? sourcePath : sourcePath.substr(separator + 1);
}

std::string EscapeLineFeeds(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (c == '\n')
      escaped += "\\n";
    else
      escaped += c;
  }
  return escaped;
}

std::string MessageEntry(long threadId, int level, std::string_view sourcePath, std::string_view callSiteText) {
  std::string entry = "[";
  entry.append(std::to_string(threadId)).append("] ").append(LevelName(level)).append(": ");
  entry.append(SourceFileName(sourcePath)).append(EscapeLineFeeds(callSiteText));
  return entry;
}

std::string FileLine(std::int32_t counter, double elapsedSeconds, std::string_view entry) {
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "%08d\t%.8f\t", static_cast<int>(counter), elapsedSeconds);
  return prefix + std::string(entry) + " \n";
}

std::string LogFileName(const std::tm& localTime, int index) {
  // English month names whatever the C library's locale.
  static constexpr const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                            "July",    "August",   "September", "October", "November", "December"};
  const int month = localTime.tm_mon >= 0 && localTime.tm_mon < 12 ? localTime.tm_mon : 0;
  char name[128];
  std::snprintf(name, sizeof name, "Quenlith-setup-%s.%02d.%04d-%02d.%02d.%02d", kMonths[month], localTime.tm_mday,
                localTime.tm_year + 1900, localTime.tm_hour, localTime.tm_min, localTime.tm_sec);
  return index > 0 ? std::string(name) + "_" + std::to_string(index) + ".log" : std::string(name) + ".log";
}

}  // namespace log_format
