#include "try/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <thread>

#include "pack/interrupt.h"
#include "try/options.h"

extern char** environ;

namespace quenlith_try {

Child::Child(const std::vector<std::string>& argv, const std::filesystem::path& output,
             const std::filesystem::path& errors) {
  pack::HoldIfInterrupted();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // The builder blocks the interrupting signals in every thread; children start with none blocked.
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const int status = posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (status != 0) throw NotRun("cannot start " + argv[0] + ": " + std::strerror(status));
}

Child::Child(Child&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }

Child::~Child() { Kill(); }

std::optional<int> Child::Wait(Clock::time_point deadline) {
  while (pid_ > 0) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return std::nullopt;
}

std::optional<int> Child::WaitSeconds(int seconds) { return Wait(Clock::now() + std::chrono::seconds(seconds)); }

void Child::Kill() {
  if (pid_ <= 0) return;
  kill(-pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace quenlith_try
