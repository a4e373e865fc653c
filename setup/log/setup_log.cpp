#include "log/setup_log.h"

#include <shlobj.h>

#include <fmt/args.h>
#include <fmt/format.h>

#include <ctime>

#include "platform/files.h"
#include "platform/held_file.h"
#include "platform/text.h"
#include "user/user_context.h"
#include "platform/number_locale.h"
#include "platform/shell.h"
#include "platform/system.h"

SetupLog gSetupLog;

namespace {

const std::locale& NumberLocale() {
  static const std::locale locale = UserNumberLocale();
  return locale;
}

// Holds the log's mutex for one scope; the mutex is recursive for its owner.
class LockGuard {
 public:
  explicit LockGuard(HANDLE mutex) : mutex_(mutex) { WaitForSingleObject(mutex_, INFINITE); }
  ~LockGuard() { ReleaseMutex(mutex_); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  HANDLE mutex_;
};

std::string WindowsVersionLine() {
  const SystemVersion version = ReportedSystemVersion();
  return FormatLogMessage("Windows: {}.{} Build {}", {version.major, version.minor, version.build});
}

}  // namespace

std::string FormatLogMessage(std::string_view format, std::initializer_list<LogArg> args) {
  fmt::dynamic_format_arg_store<fmt::format_context> store;
  for (const LogArg& arg : args) std::visit([&store](const auto& value) { store.push_back(value); }, arg.value());
  try {
    return fmt::vformat(NumberLocale(), fmt::string_view(format.data(), format.size()), store);
  } catch (const fmt::format_error& error) {
    return std::string(format) + " (format error: " + error.what() + ")";
  }
}

std::string CallSiteText(int line, std::string_view format, std::initializer_list<LogArg> args) {
  return ":" + std::to_string(line) + " " + FormatLogMessage(format, args);
}

SetupLog::SetupLog() {
  startMs_ = NowMs();
  const std::string name = "log" + std::to_string(static_cast<long long>(std::time(nullptr)));
  logLock_ = CreateMutexA(nullptr, FALSE, name.c_str());
}

SetupLog::~SetupLog() {
  Close();
  if (logLock_ != nullptr) CloseHandle(logLock_);
}

std::int64_t SetupLog::NowMs() const {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::int64_t ticks = (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return (ticks - 116444736000000000LL) / 10000;
}

std::string SetupLog::LogPath() const {
  LockGuard lock(logLock_);
  return logPath_;
}

void SetupLog::Write(int level, std::string_view sourcePath, std::string_view callSiteText) {
  if (level == log_format::kError) errorsSeen_ = true;
  if (!enabled_) return;
  if (logFile_ == nullptr) OpenFile();
  if (logFile_ == nullptr) return;
  WriteLine(log_format::MessageEntry(static_cast<long>(GetCurrentThreadId()), level, sourcePath, callSiteText));
}

namespace {

// Creates the log file, new, under its name for this second or, when another
// run started in the same second has it, the first free name after it, so
// that no two runs write one file. Returns its path.
std::string CreateLogFile(const std::string& folder) {
  const std::time_t now = std::time(nullptr);
  std::tm local = {};
  localtime_s(&local, &now);
  const std::string first = folder + "\\" + log_format::LogFileName(local);
  for (int index = 0; index < kMaxNameTries; ++index) {
    const std::string path = folder + "\\" + log_format::LogFileName(local, index);
    const HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return path;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  return first;
}

}  // namespace

void SetupLog::OpenFile() {
  LockGuard lock(logLock_);
  if (logFile_ != nullptr) return;
  // Without a desktop folder the log goes to the temporary folder.
  std::string folder = ShellFolderPath(CSIDL_DESKTOPDIRECTORY, ShellUserToken()).value_or(TempFolder());
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  if (logPath_.empty()) logPath_ = CreateLogFile(folder);
  logFile_ = OpenFileUtf8(logPath_, "a+");
  if (logFile_ == nullptr) return;
  // The header is written under the lock, so no other thread's line comes first.
  WriteLine("Quenlith setup log file");
  WriteLine(log_format::kSeparator);
  WriteLine(std::string("Version: ") + __DATE__);
  WriteLine(WindowsVersionLine());
  WriteLine(log_format::kSeparator);
}

void SetupLog::WriteLine(std::string_view entry) {
  LockGuard lock(logLock_);
  const double elapsed = static_cast<double>(NowMs() - startMs_) / 1000.0;
  if (logFile_ != nullptr) {
    const std::string line = log_format::FileLine(lineCounter_, elapsed, entry);
    std::fwrite(line.data(), 1, line.size(), logFile_);
    ++lineCounter_;
    std::fflush(logFile_);
    std::fclose(logFile_);
  }
  logFile_ = logPath_.empty() ? nullptr : OpenFileUtf8(logPath_, "a+");
}

void SetupLog::Close() {
  LockGuard lock(logLock_);
  if (logFile_ != nullptr) {
    WriteLine(log_format::kSeparator);
    WriteLine(errorsSeen_ ? "Quenlith setup exited with errors" : "Quenlith setup exited successfully");
    std::fclose(logFile_);
  }
  logFile_ = nullptr;
}
