#include "try/report.h"

#include <algorithm>

namespace quenlith_try {

std::string DriveCPath(const std::string& relative) {
  std::string text = "C:\\" + relative;
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

pack::TryExit TryExitOf(const RunResult& run) {
  return run.outcome == "exited" && run.exitCode == 0 ? pack::kTryRanClean : pack::kTryRanFailed;
}

}  // namespace quenlith_try
