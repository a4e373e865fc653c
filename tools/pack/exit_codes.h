#pragma once
// What `quenlith-pack` exits with, per command, for scripts and pipelines to
// gate on; never renumbered. The help text below says the same to its user.

namespace pack {

// Every command but `diff` and `try`.
enum PackExit : int {
  kExitDone = 0,   // done (also -h and --version)
  kExitFault = 1,  // a fault: a file that cannot be read or written, a package that fails, a --strict finding
  kExitUsage = 2,  // a usage error: the usage is printed on standard error
};

// `diff`: 1 says the packages differ, so a package it cannot read says 3.
enum DiffExit : int {
  kDiffSame = 0,     // the packages install the same
  kDiffDiffers = 1,  // they differ
  kDiffUsage = kExitUsage,
  kDiffFault = 3,    // a package cannot be read
};

// `try`.
enum TryExit : int {
  kTryRanClean = 0,   // the package ran and exited with 0
  kTryRanFailed = 1,  // the package ran and exited non-zero, crashed, or hung
  kTryNotRun = 2,     // usage, not a package, Wine or Xvfb missing, an architecture
                      // this machine cannot run, or the prefix could not be made
};

// Any command interrupted by signal N (SIGINT, SIGTERM, SIGHUP) exits with
// this + N, after removing what it had begun to write.
inline constexpr int kExitInterrupted = 128;

// The help texts' lines on the codes above: each command's usage ends with
// its own.
inline constexpr char kExitCodesHelp[] = "exit codes: 0 done, 1 a fault, 2 a usage error\n";
inline constexpr char kDiffExitCodesHelp[] =
    "exit codes: 0 the packages install the same, 1 they differ, 2 a usage error,\n"
    "            3 a package cannot be read\n";
inline constexpr char kTryExitCodesHelp[] =
    "exit codes: 0 the package ran and exited with 0, 1 it exited otherwise, crashed or hung,\n"
    "            2 it was not run (usage, not a package, Wine or Xvfb missing, an architecture\n"
    "            Wine cannot run here)\n";

}  // namespace pack
