#pragma once
// Process exit codes of the installer, with their fixed numbers and what each
// means; never renumbered. Every routine that decides how the run ends
// returns this type (the stages' conclusions, the install sequence, the
// choosers, the silent and wizard runs); only the entry point turns it into
// the process's code. Needs no Windows API: `quenlith-pack try` reports the
// code of a run it watched from this same table.

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

// What a code means, said two ways: `run` is what a run that ended with it
// did, as someone watching it from outside is told (the README's table,
// `quenlith-pack try`); `failure` ends the setup log's ERROR line "Setup is
// exiting with code {}: {}." and is null for the codes that are no failure.
struct ExitCodeMeaning {
  ExitCode code;
  const char* run;
  const char* failure;
};

inline constexpr ExitCodeMeaning kExitCodeMeanings[] = {
    {kExitSuccess, "wizard ended, elevated restart started, silent installation complete, or an up-to-date copy launched",
     nullptr},
    {kExitFailure,
     "script missing or damaged, system too old, policy forbids, product running, installation failed, or user "
     "cancelled",
     "the installation was not completed"},
    {kExitUpToDate, "silent: the installed copy is as new or newer; nothing launched", nullptr},
    {kExitNotWritable, "silent: the destination cannot be created or written",
     "the destination cannot be created or written"},
    {kExitNoDiskSpace, "silent: not enough disk space", "not enough disk space at the destination"},
    {kExitDecompressIo, "decompression failed: input/output or memory", "the payload could not be read or written"},
    {kExitDecompressData, "decompression failed: corrupt or truncated data", "the payload is corrupt or truncated"},
    {kExitDecompressLibrary, "decompression failed: library error", "the decompression library failed"},
};

// The row of `code`; null for a number the installer never exits with.
const ExitCodeMeaning* FindExitCode(int code);

// What a run that exited with `code` did; "not an exit code of the
// installer" for any other number (a crash's exception code, a launcher's own).
const char* ExitCodeRunMeaning(int code);

// Why a run that fails with `code` fails, for the log's ERROR line;
// "unexpected exit code" for a code that is no failure.
const char* ExitCodeFailureMeaning(ExitCode code);
