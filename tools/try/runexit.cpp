// Starts the command line that follows its own program name, waits for it and
// prints "exit=<code>" with the full signed 32-bit exit code (Wine's own exit
// status keeps only the low 8 bits). Exits with 120 when the program cannot
// be started.

#include <windows.h>

#include <cstdio>

namespace {

// The command line after this program's own name.
wchar_t* ChildCommandLine() {
  wchar_t* line = GetCommandLineW();
  bool quoted = false;
  for (; *line && (quoted || (*line != L' ' && *line != L'\t')); ++line)
    if (*line == L'"') quoted = !quoted;
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

}  // namespace

int main() {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // Wine now and then fails a start with an internal error while it is busy
  // with another process; a moment later the same start succeeds.
  DWORD error = 0;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (CreateProcessW(nullptr, ChildCommandLine(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      error = 0;
      break;
    }
    error = GetLastError();
    if (error != ERROR_INTERNAL_ERROR) break;
    Sleep(200);
  }
  if (error != 0) {
    std::printf("start failed: error %lu\n", error);
    return 120;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::printf("exit=%ld\n", static_cast<long>(static_cast<LONG>(code)));
  std::fflush(stdout);
  return 0;
}
