#pragma once
// Leaves nothing behind when the builder is interrupted: paths registered
// here are removed when SIGINT, SIGTERM or SIGHUP (Ctrl-C or Ctrl-Break on
// Windows) arrives, and the process then ends with 128 + the signal number.

#include <filesystem>
#include <functional>
#include <list>

namespace pack {

// Starts the watcher. Call once at start-up, before any other thread is
// started (on POSIX the signals are blocked in every thread and taken by
// the watcher thread, where removing files is safe).
void InstallInterruptCleanup();

// Registers `path` (a file or a folder, removed with its contents) for
// removal on interruption while this object lives.
class RemoveOnInterrupt {
 public:
  explicit RemoveOnInterrupt(const std::filesystem::path& path);
  ~RemoveOnInterrupt();
  RemoveOnInterrupt(const RemoveOnInterrupt&) = delete;
  RemoveOnInterrupt& operator=(const RemoveOnInterrupt&) = delete;

 private:
  std::filesystem::path path_;
};

// Called by a thread about to start a program or write into a folder
// registered above: once an interrupt is being handled, any thread but the
// one handling it stops here for good (the process ends), so nothing is
// started or written under the clean-up.
void HoldIfInterrupted();

// Held by a thread while it creates, writes or moves files below a path
// registered above. The clean-up waits until every step in flight has
// ended before it removes anything, and a thread that begins a step once
// the clean-up has begun stops there for good (HoldIfInterrupted), so no
// file or folder is made again after the removal. Nested scopes in one
// thread count once.
//
// For tests: with QUENLITH_PACK_INTERRUPT_AT=N in the environment, the
// process interrupts itself (SIGINT) as its N-th step begins, and that step
// runs while the clean-up waits for it.
class WritingStep {
 public:
  WritingStep();
  ~WritingStep();
  WritingStep(const WritingStep&) = delete;
  WritingStep& operator=(const WritingStep&) = delete;
};

// Runs `action` on interruption, once the writing steps in flight have
// ended and before the registered paths are removed, while this object
// lives: for programs the builder started that would otherwise outlive it. `action` runs on the watcher thread and must
// not register or release anything here.
class RunOnInterrupt {
 public:
  explicit RunOnInterrupt(std::function<void()> action);
  ~RunOnInterrupt();
  RunOnInterrupt(const RunOnInterrupt&) = delete;
  RunOnInterrupt& operator=(const RunOnInterrupt&) = delete;

 private:
  std::list<std::function<void()>>::iterator entry_;
};

}  // namespace pack
