#pragma once
// `quenlith-pack try`: runs a setup package under Wine in a throw-away prefix
// of its own and reports what the run did to that machine. Linux only.

#include <filesystem>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "pack/exit_codes.h"

namespace quenlith_try {

struct TryOptions {
  std::filesystem::path package;
  bool wizard = false;                  // start as a double-click (no switches) and watch its pages
  std::vector<std::string> switches;    // after "/silent", or alone with `wizard`
  std::optional<std::filesystem::path> keep;  // keep the prefix in this new or empty folder
  std::filesystem::path pictures;       // where page pictures and the hang screenshot go
  int timeoutSeconds = 120;             // for the package's run, not the prefix's set-up
  bool json = false;
  std::filesystem::path helpers;        // wine-env.sh, wine-arch.sh, runexit.exe, pagewatch.exe, desktopkeeper.exe
};

// Why `try` could not run the package; the text says what to do.
struct NotRun : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The folder `try` takes its helpers from: $QUENLITH_TRY_HELPERS when set,
// else quenlith-try/ beside the running program.
std::filesystem::path DefaultHelpers();

// Runs the package and prints the report to `out` (text, or one JSON
// document with `json`); progress goes to `progress`. Returns kTryRanClean
// or kTryRanFailed. Throws NotRun, saying why, when the checks refuse the
// package, the prefix cannot be made or a program cannot be started, and
// other std::exception types for faults on the way (a file of the package or
// of the prefix that cannot be read, such as the prefix's registry after the
// run); nothing is printed to `out` then.
pack::TryExit TryPackage(const TryOptions& options, std::ostream& out, std::ostream& progress);

}  // namespace quenlith_try
