#pragma once
// The setup log: one plain-text file per run on the user's desktop (a run
// that finds its name taken by another run of the same second takes the
// next free one, "..._1.log"), off unless start-up enables it. Every line is on disk before the next one is
// written (the file is closed and reopened per line), so a run that is
// killed leaves a complete log. Lines are numbered across files and guarded
// by a named mutex that runs started in the same second share.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "log/log_format.h"

// One argument of a log message, for its brace placeholders.
class LogArg {
 public:
  using Value = std::variant<long long, unsigned long long, double, bool, std::string_view, const void*>;

  template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
  LogArg(T value) {  // NOLINT: implicit on purpose, like a format argument
    if constexpr (std::is_signed_v<T>)
      value_ = static_cast<long long>(value);
    else
      value_ = static_cast<unsigned long long>(value);
  }
  LogArg(bool value) : value_(value) {}
  LogArg(double value) : value_(value) {}
  LogArg(const char* text) : value_(std::string_view(text ? text : "(null)")) {}
  LogArg(char* text) : LogArg(static_cast<const char*>(text)) {}
  LogArg(const std::string& text) : value_(std::string_view(text)) {}
  LogArg(std::string_view text) : value_(text) {}
  template <typename T>
  LogArg(T* pointer) : value_(static_cast<const void*>(pointer)) {}
  LogArg(std::nullptr_t) : value_(static_cast<const void*>(nullptr)) {}

  const Value& value() const { return value_; }

 private:
  Value value_;
};

// Formats `format` with {fmt} placeholders; "{:L}" groups digits as the
// user's locale does. A malformed format is shown with the error, never thrown.
std::string FormatLogMessage(std::string_view format, std::initializer_list<LogArg> args);

// The call-site text of a log line: ":<line> <message>".
std::string CallSiteText(int line, std::string_view format, std::initializer_list<LogArg> args);

class SetupLog {
 public:
  SetupLog();
  ~SetupLog();
  SetupLog(const SetupLog&) = delete;
  SetupLog& operator=(const SetupLog&) = delete;

  // Start-up switches logging on before its first line.
  void Enable() { enabled_ = true; }
  bool Enabled() const { return enabled_; }
  // Whether an ERROR line was logged, also while logging was off.
  bool ErrorsSeen() const { return errorsSeen_; }

  // Logs one message entry; the file is opened, with its header, by the
  // first line. `sourcePath` is the calling source file's path.
  void Write(int level, std::string_view sourcePath, std::string_view callSiteText);

  // Writes the two closing lines and closes the file; a second call writes
  // nothing. Called at the end of a run and at process exit.
  void Close();

  // The current or last log file's path; empty before the first line.
  std::string LogPath() const;

 private:
  void OpenFile();
  void WriteLine(std::string_view entry);
  std::int64_t NowMs() const;

  std::FILE* logFile_ = nullptr;
  std::int32_t lineCounter_ = 0;
  HANDLE logLock_ = nullptr;
  std::int64_t startMs_ = 0;
  std::string logPath_;
  std::atomic<bool> errorsSeen_{false};
  bool enabled_ = false;
};

// The process's one log, constructed before the entry point and closed at exit.
extern SetupLog gSetupLog;

#define SETUP_LOG_AT(level, ...) gSetupLog.Write((level), __FILE__, SetupLogCallSite(__LINE__, __VA_ARGS__))
#define LOG_NORMAL(...) SETUP_LOG_AT(log_format::kNormal, __VA_ARGS__)
#define LOG_WARNING(...) SETUP_LOG_AT(log_format::kWarning, __VA_ARGS__)
#define LOG_ERROR(...) SETUP_LOG_AT(log_format::kError, __VA_ARGS__)

template <typename... Args>
std::string SetupLogCallSite(int line, std::string_view format, const Args&... args) {
  return CallSiteText(line, format, {LogArg(args)...});
}
