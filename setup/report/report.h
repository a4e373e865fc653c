#pragma once
// State reports: one HTTPS GET of "/partner/install.php?state=NAME" on the
// reporting host, telling how far a run got. Every failure is ignored.

#include <string>

// The user agent of every report, also logged at start-up.
inline constexpr const char* kReportUserAgent = "QuenlithSetup/6.6";

// Logs the URL, sends the request and returns when it completed or failed.
void ReportState(const std::string& state);
