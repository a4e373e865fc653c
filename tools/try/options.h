#pragma once
// What `quenlith-pack try` is asked to do, and how it says it cannot.

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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

}  // namespace quenlith_try
