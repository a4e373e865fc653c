#pragma once
// The report of one `try` run: what was run, how it ended, what it did to
// the prefix, and the pictures taken. Filled by the run's steps, printed by
// the writers (report_writers.h).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pack/exit_codes.h"
#include "try/shell_link.h"
#include "try/tree_snapshot.h"
#include "try/wine_registry.h"

namespace quenlith_try {

// A text file the run wrote.
struct TextFile {
  std::string path;  // as Windows names it: "C:\..."
  std::string text;  // its bytes, line ends as written
};

struct Shortcut {
  std::string path;  // "C:\...\Name.lnk"
  ShellLink link;
};

struct UninstallEntry {
  std::string key;  // below HKCU
  std::vector<RegistryValue> values;
};

// How the program ended, read from its launcher's output and Wine's trace.
struct RunResult {
  std::string outcome;          // "exited", "crashed", "hung" or "not_started"
  std::optional<int> exitCode;  // the full signed code; none when hung or not started
  std::string exitMeaning;      // the installer's meaning of `exitCode`
  std::string startError;       // why it did not start
  std::int64_t milliseconds = 0;
  std::vector<std::string> stateReports;  // the URLs it opened through WinINet, in order
};

// What the run did to the prefix, from two snapshots and the files and
// registry afterwards (prefix_facts.h).
struct RunFacts {
  std::uint64_t filesWritten = 0;
  std::uint64_t bytesWritten = 0;
  std::vector<WrittenGroup> groups;  // where the written files went
  std::vector<Shortcut> shortcuts;   // written .lnk files
  std::vector<UninstallEntry> uninstallEntries;
  std::optional<TextFile> settings;  // the per-user quenlith.ini
  std::vector<TextFile> pluginLists;
  std::optional<TextFile> log;       // the setup log on the desktop
  std::vector<std::string> tempLeft; // new in %TEMP%, "C:\..."; a folder ends in '\'
};

struct Page {
  std::string name;  // "location", "installing", "complete"
  std::filesystem::path picture;
};

struct Pictures {
  std::filesystem::path folder;
  std::vector<Page> pages;
  std::optional<std::filesystem::path> hangScreenshot;
  std::string problem;  // why there is no hang screenshot
};

struct Report {
  std::string package;       // the full path
  std::string architecture;  // "i686" or "x86_64"
  std::string mode;          // "silent" or "wizard"
  std::vector<std::string> switches;
  RunResult run;
  RunFacts facts;
  Pictures pictures;
  std::optional<std::filesystem::path> prefix;  // the kept run folder
};

// What `try` exits with for a run that ended so: kTryRanClean only when the
// program exited with 0.
pack::TryExit TryExitOf(const RunResult& run);

// "C:\..." for a path relative to the prefix's drive C ('/' separators).
std::string DriveCPath(const std::string& relative);

}  // namespace quenlith_try
