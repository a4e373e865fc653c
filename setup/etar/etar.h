#pragma once
// Payload archive extraction: writes every file of the archive below the
// destination, creates the folders the names call for and opens them to the
// Users group, moves locked files aside, stamps every file with the
// script's date and records each one in the uninstall list.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Computes the file time from the script's date (local midnight; month
// counted from 0, year from 1900) and extracts. Returns 0.
int ExtractPayload(const std::string& archivePath, const std::string& destination, int dateMonth, int dateDay,
                   int dateYear, const std::optional<std::string>& uninstallListPath);

// Extracts every file of `archivePath` below `destination`, stamping it with
// `fileTime` (100 ns since 1601) and recording it in the uninstall list when
// a path is given. Returns false only when the archive cannot be opened. A
// table that would write outside the destination or runs past the archive
// ends the process with exit code -1 before any file is written.
bool ExtractArchive(const std::string& archivePath, const std::string& destination, std::int64_t fileTime,
                    const std::optional<std::string>& uninstallListPath);

// Grants the Users group full control of `directoryPath`, inherited below.
bool SetDirectoryPermissions(const std::string& directoryPath);

// Appends the "File%03d" values of an uninstall list to `list`, for indices
// below its "NumFiles"; a missing value reads "NULL".
void ReadUninstallList(const std::string& listPath, std::vector<std::string>& list);

// The pause between attempts of the locked-file procedure; tests replace it.
extern std::function<void(unsigned milliseconds)> extractionSleep;
