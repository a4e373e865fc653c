#include "pack/interrupt.h"

#include <csignal>
#include <cstdlib>
#include <list>
#include <mutex>
#include <atomic>
#include <chrono>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <unistd.h>
#endif

#include "pack/exit_codes.h"

namespace pack {
namespace {

std::mutex registryMutex;
std::list<std::filesystem::path>& Registry() {
  static std::list<std::filesystem::path> paths;
  return paths;
}

std::list<std::function<void()>>& Actions() {
  static std::list<std::function<void()>> actions;
  return actions;
}

// Runs on a thread of its own, never in a signal handler, so it may take
// the lock, stop programs and remove folders. Holding the lock to the end
// keeps any other thread from registering or releasing anything meanwhile.
std::atomic<bool> interrupted{false};
std::thread::id cleaner;  // the thread that handles the interrupt; set before `interrupted`

[[noreturn]] void RemoveAllAndExit(int signal) {
  cleaner = std::this_thread::get_id();
  interrupted = true;
  std::lock_guard lock(registryMutex);
  for (const std::function<void()>& action : Actions()) action();
  for (const std::filesystem::path& path : Registry()) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::_Exit(kExitInterrupted + signal);
}

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD event) {
  // The system calls this on a new thread; open files cannot be removed on
  // Windows, so the remove may miss a file another thread still writes.
  RemoveAllAndExit(event == CTRL_C_EVENT ? SIGINT : SIGTERM);
}
#endif

}  // namespace

void HoldIfInterrupted() {
  if (!interrupted || std::this_thread::get_id() == cleaner) return;
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

void InstallInterruptCleanup() {
#ifdef _WIN32
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  static sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([] {
    int signal = 0;
    while (sigwait(&signals, &signal) != 0) {
    }
    RemoveAllAndExit(signal);
  }).detach();
#endif
}

RemoveOnInterrupt::RemoveOnInterrupt(const std::filesystem::path& path) : path_(path) {
  std::lock_guard lock(registryMutex);
  Registry().push_back(path_);
}

RemoveOnInterrupt::~RemoveOnInterrupt() {
  std::lock_guard lock(registryMutex);
  for (auto it = Registry().begin(); it != Registry().end(); ++it) {
    if (*it == path_) {
      Registry().erase(it);
      break;
    }
  }
}

RunOnInterrupt::RunOnInterrupt(std::function<void()> action) {
  std::lock_guard lock(registryMutex);
  entry_ = Actions().insert(Actions().end(), std::move(action));
}

RunOnInterrupt::~RunOnInterrupt() {
  std::lock_guard lock(registryMutex);
  Actions().erase(entry_);
}

}  // namespace pack
