#pragma once
// `quenlith-pack try`: runs a setup package under Wine in a throw-away prefix
// of its own and reports what the run did to that machine. Linux only.

#include <filesystem>
#include <ostream>

#include "pack/exit_codes.h"
#include "try/options.h"

namespace quenlith_try {

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
