#pragma once
// The Wine test harness: runs Windows programs in the test run's prefix and
// looks at what they did. The prefix, Xvfb and the wineserver are set up once
// per test run by the wine_env fixture (wine-env.sh) in the build tree.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace harness {

// What a killed run reports as its exit code, so that a hang never passes for a clean end.
inline constexpr int kTimedOutExitCode = std::numeric_limits<int>::min();
// What a run reports when any of its threads crashed: a crash in a thread
// that is ending can leave the process's own exit code at 0.
inline constexpr int kCrashedExitCode = std::numeric_limits<int>::min() + 1;

struct RunResult {
  int exitCode = 0;       // the program's full signed 32-bit exit code
  std::string output;     // what it and Wine printed
  bool timedOut = false;  // killed after the time-out; exitCode is then kTimedOutExitCode
  bool crashed = false;   // Wine reported an unhandled exception; exitCode is then kCrashedExitCode
};

// A Windows program running in the background; killed if still running when
// destroyed.
class Process {
 public:
  Process(pid_t pid, int outputFd) : pid_(pid), outputFd_(outputFd) {}
  Process(Process&& other) noexcept;
  Process& operator=(Process&&) = delete;
  ~Process();
  // Waits for the program to end, at most `timeoutSeconds`.
  RunResult Wait(int timeoutSeconds = 120);
  // Waits until the program has printed `text`; false after the time-out.
  bool WaitForOutput(const std::string& text, int timeoutSeconds = 30);

 private:
  pid_t pid_;
  int outputFd_;
  std::string output_;  // read by WaitForOutput, handed on by Wait
};

class Wine {
 public:
  // The environment of this test run.
  static Wine& Get();

  // Runs a Windows program to its end. args[0] is the program: a Linux path
  // or a Windows path. `environment` adds "NAME=value" variables; a
  // WINEDLLOVERRIDES value is added to the environment's own overrides.
  RunResult Run(const std::vector<std::string>& args, int timeoutSeconds = 120,
                const std::vector<std::string>& environment = {});
  // Starts a Windows program through runexit.exe, so that Wait() reports
  // its full exit code in the output ("exit=N"); see ExitCodeOf().
  Process Start(const std::vector<std::string>& args, const std::vector<std::string>& environment = {});
  // The full exit code that runexit.exe printed in `result`; none if absent.
  static std::optional<int> ExitCodeOf(const RunResult& result);
  // Runs a command (a Linux program such as wine or wineboot) inside the environment.
  RunResult RunInEnvironment(const std::vector<std::string>& command, int timeoutSeconds = 120);

  // Waits up to `timeoutMs` for a message box with `caption`, presses
  // `button` (ok, cancel, yes, no, retry, abort, ignore) and returns the
  // box's text; none when no such box appeared.
  std::optional<std::string> AnswerMessageBox(const std::string& caption, const std::string& button,
                                              int timeoutMs = 20000);

  // The data of a registry value as `reg query` prints it ("0x7" for a
  // DWORD of 7, the text of a string); none when the key or value is missing.
  // An empty name reads the key's default value.
  std::optional<std::string> RegistryValue(const std::string& key, const std::string& name);

  // "C:\users\x" to the file under the prefix, "Z:\tmp\x" to "/tmp/x".
  std::filesystem::path LinuxPath(std::string_view windowsPath) const;
  // An absolute Linux path as Windows programs see it ("Z:\tmp\x").
  static std::string WindowsPath(const std::filesystem::path& linuxPath);

  // The desktop of the prefix's user, where the setup log goes.
  std::filesystem::path DesktopFolder() const;
  // The setup logs on that desktop, by name (which sorts by time within a day).
  std::vector<std::filesystem::path> SetupLogs() const;
  void RemoveSetupLogs() const;

  // A program of the Windows build, by file name ("wintool.exe").
  std::filesystem::path Program(const std::string& name) const { return windowsBin_ / name; }
  std::filesystem::path Directory() const { return directory_; }

 private:
  Wine();
  std::filesystem::path directory_;
  std::filesystem::path script_;
  std::filesystem::path windowsBin_;
  Process StartRaw(const std::vector<std::string>& args, const std::vector<std::string>& environment);
};

}  // namespace harness
