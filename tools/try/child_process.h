#pragma once
// A Linux program that `try` starts: in a process group of its own (so that
// ending it ends everything it started, and the terminal's Ctrl-C reaches
// only `try`), with its standard input from /dev/null and its output in files.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quenlith_try {

using Clock = std::chrono::steady_clock;

// Time for each short step around a run (a probe, a conversion, the end of
// the prefix's programs).
inline constexpr int kStepSeconds = 60;

class Child {
 public:
  // Starts `argv` (argv[0] looked up on PATH), standard output truncating
  // `output` and standard error appended to `errors` (the same file may be
  // both). Holds here for good when an interrupt is being handled. Throws
  // NotRun when the program cannot be started.
  Child(const std::vector<std::string>& argv, const std::filesystem::path& output,
        const std::filesystem::path& errors);
  Child(Child&& other) noexcept;
  Child& operator=(Child&&) = delete;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  // Kills the process group if it still runs.
  ~Child();

  // The exit status (0 to 255, or 128 + signal) once the program ends; none
  // when it still runs at `deadline` (or was already waited for or killed).
  std::optional<int> Wait(Clock::time_point deadline);
  // Waits up to `seconds` from now.
  std::optional<int> WaitSeconds(int seconds);
  // Kills the whole process group and reaps the program; nothing once it ended.
  void Kill();

 private:
  pid_t pid_ = -1;
};

}  // namespace quenlith_try
