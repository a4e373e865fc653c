#pragma once
// Process exit codes of the installer, with their fixed numbers; never
// renumbered. Every routine that decides how the run ends returns this type
// (the stages' conclusions, the install sequence, the choosers, the silent
// and wizard runs); only the entry point turns it into the process's code.

enum ExitCode : int {
  kExitSuccess = 0,             // wizard ended, elevated restart, silent install complete, up-to-date copy launched
  kExitFailure = -1,            // script missing, system too old, policy, product running, install failure
  kExitUpToDate = -2,           // silent: installed copy as new or newer, nothing launched
  kExitNotWritable = -3,        // silent: destination cannot be created or written
  kExitNoDiskSpace = -4,        // silent: not enough free disk space
  kExitDecompressIo = 1,        // decompression: input/output or memory
  kExitDecompressData = 2,      // decompression: corrupt or truncated data
  kExitDecompressLibrary = 3,   // decompression: library configuration or internal error
};
