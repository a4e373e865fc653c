#pragma once
// A prefix made by wine-env.sh, as `try` reads it: where its user's folders
// are, snapshots of it taken before and after a run, and what the run did
// between them (files, shortcuts, settings, log, uninstall entries).

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "try/report.h"
#include "try/tree_snapshot.h"

namespace quenlith_try {

// The prefix's files at one moment.
struct PrefixSnapshot {
  TreeSnapshot tree;          // below drive C, but for the folders that change by themselves
  std::set<std::string> temp; // the names in the user's %TEMP%; a folder's ends in '/'
};

class Prefix {
 public:
  // The prefix in `runFolder` (its "prefix" folder). Throws NotRun when it
  // has no user with a desktop.
  explicit Prefix(const std::filesystem::path& runFolder);

  PrefixSnapshot Snapshot() const;

  // What a run did from `before` to `after`: the files written (new or
  // changed) and where they went, the shortcuts, product settings, plug-in
  // lists and setup log among them, and what is new in %TEMP%; and the
  // uninstall entries the registry holds (UninstallEntries, whose fault it
  // passes on).
  RunFacts FactsBetween(const PrefixSnapshot& before, const PrefixSnapshot& after) const;

  // The keys directly below HKCU's Uninstall key, from the prefix's user.reg.
  // Whole only once the session is down: the server writes the registry out
  // as it goes, and all of it when it ends. Throws std::runtime_error when
  // user.reg cannot be read.
  std::vector<UninstallEntry> UninstallEntries() const;

 private:
  std::filesystem::path runFolder_;
  std::filesystem::path driveC_;
  std::string profile_;  // "users/NAME", relative to drive C
  std::string temp_;     // the user's temporary folder, relative to drive C
};

}  // namespace quenlith_try
