#include "script/command_line.h"

#include <algorithm>

#include "formats/ascii_case.h"

namespace {

constexpr std::size_t kCopyLength = 259;

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(), SameLetterIgnoringCase) != text.end();
}

}  // namespace

CommandLine::CommandLine(std::string full) : full_(std::move(full)), copy_(full_.substr(0, kCopyLength)) {}

bool CommandLine::Debug() const { return ContainsIgnoringCase(full_, "/debug"); }

bool CommandLine::ElevatedRelaunch() const {
  return full_.find("/elevate") != std::string::npos || full_.find("/noprogramfileselevation") != std::string::npos;
}

std::optional<std::string> CommandLine::Location() const {
  constexpr std::string_view kSwitch = "/location ";
  const std::size_t at = full_.find(kSwitch);
  if (at == std::string::npos) return std::nullopt;
  std::string rest = full_.substr(at + kSwitch.size());
  // A shell quotes a path with blanks; the quotes cannot be part of a Windows
  // path, so a fully quoted rest is the path inside them.
  if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
  return rest;
}
