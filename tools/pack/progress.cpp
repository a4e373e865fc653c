#include "pack/progress.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace pack {
namespace {

std::string Megabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e6);
  return text;
}

std::string Duration(double seconds) {
  const auto whole = static_cast<std::uint64_t>(seconds + 0.5);
  if (whole < 60) return std::to_string(whole) + " s";
  char text[32];
  std::snprintf(text, sizeof text, "%llu min %02llu s", static_cast<unsigned long long>(whole / 60),
                static_cast<unsigned long long>(whole % 60));
  return text;
}

}  // namespace

std::chrono::milliseconds ProgressDelay() {
  if (const char* value = std::getenv("QUENLITH_PACK_PROGRESS_DELAY_MS"); value && *value) {
    char* end = nullptr;
    const unsigned long milliseconds = std::strtoul(value, &end, 10);
    if (*end == '\0') return std::chrono::milliseconds(milliseconds);
  }
  return std::chrono::seconds(1);
}

bool StandardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(2) != 0;
#else
  return isatty(2) != 0;
#endif
}

ProgressLine::ProgressLine(std::ostream& out, bool enabled, std::chrono::milliseconds delay)
    : out_(out), enabled_(enabled), start_(Clock::now()), delay_(delay) {}

void ProgressLine::Update(std::uint64_t done, std::uint64_t total, bool last) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < delay_) return;
  if (!last && width_ > 0 && now - shown_ < std::chrono::milliseconds(100)) return;
  shown_ = now;

  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  std::string line = Megabytes(done);
  if (total > 0) {
    line += " of " + Megabytes(total) + " MB (" + std::to_string(done >= total ? 100 : done * 100 / total) + "%)";
  } else {
    line += " MB";
  }
  line += ", " + Megabytes(static_cast<std::uint64_t>(rate)) + " MB/s";
  if (total > 0 && rate > 0 && done < total)
    line += ", " + Duration(static_cast<double>(total - done) / rate) + " left";
  // Blanks cover what a longer line before left behind.
  const std::size_t width = line.size();
  if (line.size() < width_) line.append(width_ - line.size(), ' ');
  width_ = width;
  out_ << '\r' << line << std::flush;
}

void ProgressLine::Clear() {
  if (width_ == 0) return;
  out_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
  width_ = 0;
}

}  // namespace pack
