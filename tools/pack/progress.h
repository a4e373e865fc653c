#pragma once
// A progress line for long work: bytes done of the total, the rate and the
// time left, redrawn in place on one line of standard error. It appears
// only on a terminal and only once the work has lasted a moment, so short
// runs and logs stay clean.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>

namespace pack {

// How long work runs before its line appears: one second, or the
// milliseconds in QUENLITH_PACK_PROGRESS_DELAY_MS (for tests).
std::chrono::milliseconds ProgressDelay();

// True when standard error is a terminal.
bool StandardErrorIsTerminal();

class ProgressLine {
 public:
  // Draws on `out` when `enabled`, not before `delay` has passed since now.
  ProgressLine(std::ostream& out, bool enabled, std::chrono::milliseconds delay = ProgressDelay());
  ~ProgressLine() { Clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // `done` bytes of `total` (0 while the total is not known). Redraws at
  // most ten times a second, but always for the `last` figure.
  void Update(std::uint64_t done, std::uint64_t total, bool last = false);
  // Blanks the line if one was drawn and returns to its start, so that
  // what is written next stands on a clean line.
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& out_;
  bool enabled_;
  Clock::time_point start_;
  Clock::time_point shown_;  // when the line was last drawn
  std::chrono::milliseconds delay_;
  std::size_t width_ = 0;    // characters on the line now
};

}  // namespace pack
