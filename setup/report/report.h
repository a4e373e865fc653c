#pragma once
// State reports: one HTTPS GET of "/partner/install.php?state=NAME" on the
// reporting host, telling how far a run got. Every failure is ignored.

#include <string>

// The user agent of every report, also logged at start-up.
inline constexpr const char* kReportUserAgent = "QuenlithSetup/6.6";

// Logs the URL, sends the request and returns when it completed or failed.
void ReportState(const std::string& state);

// Logs the URL now and sends the request on a thread of its own, after the
// earlier background reports, then returns at once: the wizard's window and
// its install thread go on while the network answers (or times out).
void ReportStateInBackground(const std::string& state);

// Waits until every background report has completed or failed, at most 30 s
// (a hidden process should not linger for a network that never answers);
// called before the process ends, so that none is cut off.
void FinishBackgroundReports();
