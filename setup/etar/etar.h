#pragma once
// Payload archive extraction: writes every file of the archive below the
// destination, creates the folders the names call for and opens them to the
// Users group, moves locked files aside, stamps every file with the
// script's date and records each one in the uninstall list.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class ExtractStatus {
  kDone,
  kArchiveUnreadable,  // no archive stream was given, or reading it failed (`target` cut short)
  kTableRefused,       // the table or its files' data run past the archive, or it names a path outside the destination
  kPathTooLong,        // a target path would not fit in 259 characters
  kStopped,            // a file could not be created or written and the caller said stop
};

struct ExtractResult {
  ExtractStatus status = ExtractStatus::kDone;
  std::string detail;  // kTableRefused: why; kPathTooLong: the entry's name
  std::string target;  // kStopped: the file that could not be made; kArchiveUnreadable: the file cut short, if any
};

// A target that could not be created (after moving it aside) or written
// whole (a full disk, say), with the Windows error.
struct FileFailure {
  std::string target;
  unsigned long error = 0;
  bool writing = false;  // the write or close failed, not the creation
};

// Asked when a target cannot be made: true to try that file again from its
// start, false to stop the extraction there.
using RetryFile = std::function<bool(const FileFailure&)>;

// Computes the file time from the script's date (local midnight; month
// counted from 0, year from 1900) and extracts.
ExtractResult ExtractPayload(std::FILE* archive, const std::string& destination, int dateMonth, int dateDay,
                             int dateYear, const std::optional<std::string>& uninstallListPath, const RetryFile& retry);

// Extracts every file of the payload archive read from `archive` (a binary
// stream, read from its start; the caller closes it) below `destination`,
// stamping each with `fileTime` (100 ns since 1601) and recording it in the
// uninstall list when a path is given, once it is written whole. The whole
// table is checked before any file is written, and so is the archive's
// length against the sizes it declares. Each target is written with sharing
// for reading only, so no other writer mixes its bytes in. A target that
// cannot be created is moved aside and tried again (ten times silently,
// then as `retry` says); one that cannot be written whole is handed to
// `retry` at once.
ExtractResult ExtractArchive(std::FILE* archive, const std::string& destination, std::int64_t fileTime,
                             const std::optional<std::string>& uninstallListPath, const RetryFile& retry);

// Grants the Users group full control of `directoryPath`, inherited below.
bool SetDirectoryPermissions(const std::string& directoryPath);
