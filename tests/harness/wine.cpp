#include "wine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "test_paths.h"

extern char** environ;

namespace harness {
namespace {

// How Wine reports an unhandled exception in any thread of a program.
constexpr std::string_view kCrashLine = "wine: Unhandled ";

// Starts `command` in its own process group with its output on a pipe.
Process Spawn(const std::vector<std::string>& command) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0 || fcntl(pipeFds[0], F_SETFL, O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int status = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(pipeFds[1]);
  if (status != 0) {
    close(pipeFds[0]);
    throw std::runtime_error("cannot start " + command[0]);
  }
  return Process(pid, pipeFds[0]);
}

}  // namespace

Process::Process(Process&& other) noexcept
    : pid_(other.pid_), outputFd_(other.outputFd_), output_(std::move(other.output_)) {
  other.pid_ = -1;
  other.outputFd_ = -1;
}

Process::~Process() {
  if (pid_ > 0) {
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (outputFd_ >= 0) close(outputFd_);
}

bool Process::WaitForOutput(const std::string& text, int timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  char buffer[4096];
  while (output_.find(text) == std::string::npos) {
    if (outputFd_ < 0 || std::chrono::steady_clock::now() >= deadline) return false;
    pollfd fd{outputFd_, POLLIN, 0};
    if (poll(&fd, 1, 50) <= 0) continue;
    const ssize_t count = read(outputFd_, buffer, sizeof buffer);
    if (count > 0) output_.append(buffer, static_cast<std::size_t>(count));
    if (count == 0) return false;
  }
  return true;
}

RunResult Process::Wait(int timeoutSeconds) {
  // Ends when the program exits, not when its output closes: programs it
  // started may hold the output open for longer.
  RunResult result;
  result.output = std::move(output_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  auto drain = [&] {
    char buffer[4096];
    ssize_t count;
    while (outputFd_ >= 0 && (count = read(outputFd_, buffer, sizeof buffer)) > 0)
      result.output.append(buffer, static_cast<std::size_t>(count));
  };
  int status = 0;
  while (true) {
    pollfd fd{outputFd_, POLLIN, 0};
    if (poll(&fd, outputFd_ >= 0 ? 1 : 0, 50) > 0) {
      if (fd.revents & POLLIN) drain();
      if ((fd.revents & (POLLHUP | POLLERR)) && !(fd.revents & POLLIN)) {
        close(outputFd_);
        outputFd_ = -1;
      }
    }
    if (waitpid(pid_, &status, WNOHANG) == pid_) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      result.timedOut = true;
      kill(-pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
  }
  pid_ = -1;
  drain();
  result.crashed = result.output.find(kCrashLine) != std::string::npos;
  if (result.timedOut)
    result.exitCode = kTimedOutExitCode;
  else if (result.crashed)
    result.exitCode = kCrashedExitCode;
  else if (WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  return result;
}

Wine& Wine::Get() {
  static Wine wine;
  return wine;
}

Wine::Wine()
    : directory_(test_paths::kWineDir), script_(test_paths::kWineEnvScript), windowsBin_(test_paths::kRunBin) {}

RunResult Wine::RunInEnvironment(const std::vector<std::string>& command, int timeoutSeconds) {
  std::vector<std::string> full = {script_.string(), "exec", directory_.string()};
  full.insert(full.end(), command.begin(), command.end());
  return Spawn(full).Wait(timeoutSeconds);
}

Process Wine::StartRaw(const std::vector<std::string>& args, const std::vector<std::string>& environment) {
  constexpr std::string_view kOverrides = "WINEDLLOVERRIDES=";
  std::vector<std::string> command = {script_.string(), "exec", directory_.string()};
  std::vector<std::string> variables;
  std::string overrides;
  for (const std::string& variable : environment) {
    if (variable.starts_with(kOverrides))
      overrides += ";" + variable.substr(kOverrides.size());
    else
      variables.push_back(variable);
  }
  // Added to the environment's own overrides, which must stay in force.
  if (!overrides.empty())
    command.insert(command.end(), {"sh", "-c", "WINEDLLOVERRIDES=\"$WINEDLLOVERRIDES$0\" exec \"$@\"", overrides});
  command.push_back("env");
  command.insert(command.end(), variables.begin(), variables.end());
  command.push_back("wine");
  command.insert(command.end(), args.begin(), args.end());
  return Spawn(command);
}

Process Wine::Start(const std::vector<std::string>& args, const std::vector<std::string>& environment) {
  // Through runexit.exe: Wine's own exit status keeps only the low 8 bits.
  std::vector<std::string> command = {WindowsPath(Program("runexit.exe"))};
  command.push_back(args.at(0).front() == '/' ? WindowsPath(args[0]) : args[0]);
  command.insert(command.end(), args.begin() + 1, args.end());
  return StartRaw(command, environment);
}

std::optional<int> Wine::ExitCodeOf(const RunResult& result) {
  const std::size_t mark = result.output.rfind("exit=");
  if (result.timedOut || result.crashed || mark == std::string::npos) return std::nullopt;
  return static_cast<int>(std::strtol(result.output.c_str() + mark + 5, nullptr, 10));
}

RunResult Wine::Run(const std::vector<std::string>& args, int timeoutSeconds,
                    const std::vector<std::string>& environment) {
  RunResult result = Start(args, environment).Wait(timeoutSeconds);
  if (result.timedOut || result.crashed) return result;
  const std::optional<int> code = ExitCodeOf(result);
  if (!code) throw std::runtime_error("runexit printed no exit code:\n" + result.output);
  result.exitCode = *code;
  result.output.erase(result.output.rfind("exit="));
  return result;
}

std::optional<std::string> Wine::AnswerMessageBox(const std::string& caption, const std::string& button, int timeoutMs) {
  const RunResult result =
      StartRaw({WindowsPath(Program("wintool.exe")), "click", caption, button, std::to_string(timeoutMs)}, {})
          .Wait(timeoutMs / 1000 + 30);
  if (result.timedOut || result.exitCode != 0) return std::nullopt;
  std::string text = result.output;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::optional<std::string> Wine::RegistryValue(const std::string& key, const std::string& name) {
  const RunResult result = name.empty() ? RunInEnvironment({"wine", "reg", "query", key, "/ve"})
                                        : RunInEnvironment({"wine", "reg", "query", key, "/v", name});
  const std::string shown = name.empty() ? "(Default)" : name;
  if (result.exitCode != 0) return std::nullopt;
  // A value line reads "    NAME    REG_TYPE    DATA".
  std::size_t start = 0;
  while (start < result.output.size()) {
    std::size_t end = result.output.find('\n', start);
    if (end == std::string::npos) end = result.output.size();
    std::string line = result.output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    const std::size_t type = line.find("    REG_");
    if (type == std::string::npos || line.find_first_not_of(' ') != 4 || line.substr(4, type - 4) != shown) continue;
    const std::size_t data = line.find("    ", type + 4);
    return data == std::string::npos ? std::string() : line.substr(data + 4);
  }
  return std::nullopt;
}

std::filesystem::path Wine::DesktopFolder() const {
  for (const auto& user : std::filesystem::directory_iterator(directory_ / "prefix" / "drive_c" / "users"))
    if (user.path().filename() != "Public" && std::filesystem::is_directory(user.path() / "Desktop"))
      return user.path() / "Desktop";
  throw std::runtime_error("the prefix has no user desktop");
}

std::vector<std::filesystem::path> Wine::SetupLogs() const {
  std::vector<std::filesystem::path> logs;
  for (const auto& item : std::filesystem::directory_iterator(DesktopFolder())) {
    const std::string name = item.path().filename().string();
    if (name.rfind("Quenlith-setup-", 0) == 0 && item.path().extension() == ".log") logs.push_back(item.path());
  }
  std::sort(logs.begin(), logs.end());
  return logs;
}

void Wine::RemoveSetupLogs() const {
  for (const std::filesystem::path& log : SetupLogs()) std::filesystem::remove(log);
}

std::filesystem::path Wine::LinuxPath(std::string_view windowsPath) const {
  if (windowsPath.size() < 3 || windowsPath[1] != ':' || windowsPath[2] != '\\')
    throw std::runtime_error("not an absolute Windows path: " + std::string(windowsPath));
  std::string rest(windowsPath.substr(3));
  for (char& c : rest)
    if (c == '\\') c = '/';
  const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath[0])));
  if (drive == 'z') return std::filesystem::path("/") / rest;
  return directory_ / "prefix" / (std::string("drive_") + drive) / rest;
}

std::string Wine::WindowsPath(const std::filesystem::path& linuxPath) {
  std::string text = std::filesystem::absolute(linuxPath).lexically_normal().string();
  for (char& c : text)
    if (c == '/') c = '\\';
  return "Z:" + text;
}

}  // namespace harness
