#pragma once
// Reading how a program ended from what its launcher (runexit.exe) printed
// and from Wine's trace of the run.

#include <string>
#include <vector>

#include "try/report.h"

namespace quenlith_try {

// The URLs the run opened through WinINet, in order, from Wine's +wininet
// trace (every InternetOpenUrl call names its URL first).
std::vector<std::string> OpenedUrls(const std::string& trace);

// For a launcher that ended: the program's full exit code and its meaning
// from the launcher's last "exit=" line, and "crashed" when Wine reported an
// unhandled exception, else "exited"; without such a line, "not_started"
// with the launcher's first line as the reason. Sets those fields of `run`.
void ReadEnd(const std::string& launcherOutput, const std::string& trace, RunResult& run);

}  // namespace quenlith_try
