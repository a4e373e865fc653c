#pragma once
// What `try` checks before it makes a prefix, so that a run that cannot work
// is refused in a second with what to do about it, not after the prefix's
// set-up.

#include <string>

#include "try/options.h"

namespace quenlith_try {

// Checks that `options.package` is a setup package around a Windows program
// this machine's Wine can run, and that Wine, Xvfb (without a display),
// ImageMagick (for `wizard`) and the helpers are there. Returns the
// package's architecture ("i686" or "x86_64"); throws NotRun saying what is
// wrong and how to mend it.
std::string CheckBeforeRunning(const TryOptions& options);

}  // namespace quenlith_try
