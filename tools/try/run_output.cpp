#include "try/run_output.h"

#include <cstdlib>
#include <sstream>

#include "messages/exit_codes.h"
#include "try/text.h"

namespace quenlith_try {

std::vector<std::string> OpenedUrls(const std::string& trace) {
  std::vector<std::string> urls;
  std::istringstream lines(trace);
  std::string line;
  while (std::getline(lines, line)) {
    // The public entry's line, not the inner function's that repeats the URL.
    const std::size_t call = line.find(":trace:wininet:InternetOpenUrlW (");
    if (call == std::string::npos) continue;
    const std::size_t open = line.find("L\"", call);
    if (open == std::string::npos) continue;
    const std::size_t close = line.find('"', open + 2);
    if (close == std::string::npos) continue;
    urls.push_back(line.substr(open + 2, close - open - 2));
  }
  return urls;
}

void ReadEnd(const std::string& launcherOutput, const std::string& trace, RunResult& run) {
  const std::string output = WithoutCarriageReturns(launcherOutput);
  const std::size_t mark = output.rfind("exit=");
  if (mark == std::string::npos) {
    run.outcome = "not_started";
    run.startError = output.empty() ? "the launcher printed nothing" : FirstLine(output);
    return;
  }
  run.exitCode = static_cast<int>(std::strtol(output.c_str() + mark + 5, nullptr, 10));
  run.exitMeaning = ExitCodeRunMeaning(*run.exitCode);
  run.outcome = trace.find("wine: Unhandled ") != std::string::npos ? "crashed" : "exited";
}

}  // namespace quenlith_try
