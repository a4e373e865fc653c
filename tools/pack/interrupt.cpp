#include "pack/interrupt.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <list>
#include <mutex>
#include <shared_mutex>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
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
// the locks, stop programs and remove folders. Holding them to the end keeps
// any other thread from writing, registering or releasing anything
// meanwhile.
std::atomic<bool> interrupted{false};
std::thread::id cleaner;  // the thread that handles the interrupt; set before `interrupted`
std::shared_mutex writing;  // shared by each writing step, taken whole by the clean-up
thread_local int stepDepth = 0;

[[noreturn]] void RemoveAllAndExit(int signal) {
  cleaner = std::this_thread::get_id();
  interrupted = true;
  // Steps that began before are let finish; later ones stop as they begin.
  writing.lock();
  std::lock_guard lock(registryMutex);
  for (const std::function<void()>& action : Actions()) action();
  for (const std::filesystem::path& path : Registry()) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::_Exit(kExitInterrupted + signal);
}

// The test hook's step number, or 0.
unsigned long InterruptAtStep() {
  static const unsigned long step = [] {
    const char* text = std::getenv("QUENLITH_PACK_INTERRUPT_AT");
    return text ? std::strtoul(text, nullptr, 10) : 0ul;
  }();
  return step;
}
std::atomic<unsigned long> stepsBegun{0};

// Interrupts the process as a user would, then waits until the clean-up has
// begun, so that the step that follows runs under it.
void InterruptSelf() {
#ifdef _WIN32
  std::thread([] { RemoveAllAndExit(SIGINT); }).detach();
#else
  kill(getpid(), SIGINT);
#endif
  while (!interrupted) std::this_thread::sleep_for(std::chrono::milliseconds(1));
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

WritingStep::WritingStep() {
  if (stepDepth++ > 0) return;
  writing.lock_shared();
  if (interrupted && std::this_thread::get_id() != cleaner) {
    writing.unlock_shared();
    HoldIfInterrupted();
  }
  if (const unsigned long at = InterruptAtStep(); at != 0 && ++stepsBegun == at) InterruptSelf();
}

WritingStep::~WritingStep() {
  if (--stepDepth == 0) writing.unlock_shared();
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
