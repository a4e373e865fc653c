#pragma once
// `quenlith-pack try`: runs a setup package under Wine in a throw-away prefix
// of its own and reports what the run did to that machine. Linux only.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quenlith_try {

// What `try` itself exits with, so that a pipeline can gate on it.
enum TryExit : int {
  kTryRanClean = 0,     // the package ran and exited with 0
  kTryRanFailed = 1,    // the package ran and exited non-zero, crashed, or hung
  kTryNotRun = 2,       // usage, not a package, Wine or Xvfb missing, an architecture
                        // this machine cannot run, or the prefix could not be made
};

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

// The meaning of an installer's exit code, as its documentation gives it.
std::string ExitCodeMeaning(int code);

// The folder `try` takes its helpers from: $QUENLITH_TRY_HELPERS when set,
// else quenlith-try/ beside the running program.
std::filesystem::path DefaultHelpers();

// Runs the package and prints the report to `out` (text, or one JSON
// document with `json`); progress goes to `progress`. Returns the exit code
// of `try`. Throws NotRun when the package could not be run at all.
TryExit TryPackage(const TryOptions& options, std::ostream& out, std::ostream& progress);

}  // namespace quenlith_try
