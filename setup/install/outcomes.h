#pragma once
// What a failed stage means for the run: its ERROR line, its message box
// (none in a silent run) and the exit code, decided here and nowhere else.
// The one exception is the ERROR line of temporary files that cannot be
// made, which the sequence writes where it holds what the line shows.

#include <cstdint>
#include <string>

#include "bzip/bzip2.h"
#include "etar/etar.h"
#include "messages/exit_codes.h"
#include "split/split.h"

// A split that did not copy its section; `inputPath`, `outputPath` and
// `expectedOffset` as the split was asked. Returns kExitFailure (kExitSuccess
// for a copied section).
ExitCode ConcludeSplit(const SplitResult& result, const std::string& inputPath, const std::string& outputPath,
                       std::uint32_t expectedOffset);

// The install sequence's split of the payload section that did not copy it:
// the split's own conclusion, then the sequence's "Exiting, error during
// split.". Returns kExitFailure.
ExitCode ConcludePayloadSplit(const SplitResult& result, const std::string& package, const std::string& outputPath,
                              std::uint32_t expectedOffset);

// The sequence's temporary files could not be made or opened (its ERROR
// line is written): the box about temporary files. Returns kExitFailure.
ExitCode ConcludeTemporaryFiles();

// A decompression that did not complete: 1, 2, 3, or -1 for input that is no
// bzip2 data; kExitSuccess when it completed.
ExitCode ConcludeDecompression(const DecompressResult& result);

// An extraction that did not complete. Returns kExitFailure (kExitSuccess
// when it completed).
ExitCode ConcludeExtraction(const ExtractResult& result, const std::string& archivePath,
                            const std::string& destination);

// Extraction's question about a file it cannot make: logs a failed write as
// an ERROR, then asks Retry or Cancel (a silent run cancels). True to retry.
bool AskToRetryFile(const FileFailure& failure);

// Every run that ends with a failure code says why in an ERROR line, so the
// log's closing line agrees with the exit code; a run that already logged
// an ERROR has said so. kExitUpToDate (the installed copy is as new or
// newer) is no failure and adds no line. Returns `code`.
ExitCode ConcludeRun(ExitCode code);

// The wizard's install thread after a failed sequence: the run is over while
// the main thread still paints, so the process ends here, with `code`, after
// the background state reports (at most 30 s), ConcludeRun and the log's
// closing lines (static destructors, which would otherwise write them, must
// not run under the painting main thread). The only place besides the entry
// point that ends the process.
[[noreturn]] void EndRunFromInstallThread(ExitCode code);
