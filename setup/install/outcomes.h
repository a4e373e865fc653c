#pragma once
// What a failed stage means for the run: its ERROR line, its message box
// (none in a silent run) and the exit code, decided here and nowhere else.

#include <cstdint>
#include <string>

#include "bzip/bzip2.h"
#include "etar/etar.h"
#include "split/split.h"

// A split that did not copy its section; `inputPath`, `outputPath` and
// `expectedOffset` as the split was asked. Returns the exit code (-1).
int ConcludeSplit(const SplitResult& result, const std::string& inputPath, const std::string& outputPath,
                  std::uint32_t expectedOffset);

// A decompression that did not complete: 1, 2, 3, or -1 for input that is no bzip2 data.
int ConcludeDecompression(const DecompressResult& result);

// An extraction that did not complete. Returns -1.
int ConcludeExtraction(const ExtractResult& result, const std::string& archivePath, const std::string& destination);

// Extraction's question about a file it cannot make: logs a failed write as
// an ERROR, then asks Retry or Cancel (a silent run cancels). True to retry.
bool AskToRetryFile(const FileFailure& failure);

// Every run that ends with a failure code says why in an ERROR line, so the
// log's closing line agrees with the exit code; a run that already logged
// an ERROR has said so. -2 (the installed copy is as new or newer) is no
// failure and adds no line. Returns `code`.
int ConcludeRun(int code);
