#pragma once
// Where and how `try` runs Windows programs: a run folder of its own, and a
// Wine session in it (a prefix made for the run, Xvfb when there is no
// display) that several programs can use one after another or side by side.

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "pack/interrupt.h"
#include "try/child_process.h"

namespace quenlith_try {

// The run's own folder: the prefix, HOME, Xvfb's state, the outputs of the
// programs run there: `keep` (which must be new or empty; throws NotRun
// otherwise), or else a new temporary folder, removed when this goes and on
// interruption while it lives.
class RunFolder {
 public:
  explicit RunFolder(const std::optional<std::filesystem::path>& keep);
  ~RunFolder();
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  bool kept() const { return kept_; }

 private:
  std::filesystem::path path_;
  bool kept_;
  std::optional<pack::RemoveOnInterrupt> removeOnInterrupt_;
};

// "Z:\..." for a Linux path, as Windows programs in a prefix see it.
std::string WindowsPathOf(const std::filesystem::path& path);

// The Wine environment of `folder` through the helpers' wine-env.sh. While
// this lives, Linux programs that `try` starts keep their temporary files in
// the run folder, and an interrupt (Ctrl-C) ends the prefix's programs (in
// process groups of their own, so the terminal's signal misses them) and
// Xvfb before the run folder is removed.
class WineSession {
 public:
  WineSession(const std::filesystem::path& helpers, const std::filesystem::path& folder, std::ostream& progress);
  // Down, faults ignored.
  ~WineSession();
  WineSession(const WineSession&) = delete;
  WineSession& operator=(const WineSession&) = delete;

  // Makes a fresh prefix and starts Xvfb or takes $DISPLAY (wineboot takes
  // 15 to 20 s). Throws NotRun, with wine-env.sh's output, when it cannot.
  void Up();
  // Ends every program of the prefix and waits for the server to be gone,
  // so that the registry files are written out, then stops Xvfb. Does
  // nothing unless the session is up; Up may follow again.
  void Down();

  // Runs `command` inside the prefix's environment to its end, its output in
  // NAME.out in the run folder. Its exit status, or -1 after `timeoutSeconds`.
  int Exec(const std::vector<std::string>& command, int timeoutSeconds, const std::string& name);
  // Starts `command` inside the prefix's environment; it ends with Down at
  // the latest.
  Child Start(const std::vector<std::string>& command, const std::filesystem::path& output,
              const std::filesystem::path& errors);
  // Starts the Windows program `command[0]` with the rest as its arguments,
  // all its output going to `output` once it ends.
  Child StartProgram(const std::vector<std::string>& command, const std::filesystem::path& output);

  const std::filesystem::path& Folder() const { return folder_; }
  // One of the helpers `try` takes along (runexit.exe, pagewatch.exe...).
  std::filesystem::path Helper(const std::string& name) const { return helpers_ / name; }
  // The X display the prefix's windows show on, as ":N".
  std::string Display() const;

 private:
  std::filesystem::path helpers_;
  std::filesystem::path folder_;
  std::ostream& progress_;
  bool up_ = false;
  pack::RunOnInterrupt stopOnInterrupt_;
};

}  // namespace quenlith_try
