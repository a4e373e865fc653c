#include "run/version.h"

#include <array>
#include <cstdint>

namespace {

std::array<std::uint64_t, 4> Parts(std::string_view version) {
  std::array<std::uint64_t, 4> parts{};
  std::size_t count = 0;
  std::size_t start = 0;
  while (start <= version.size() && count < parts.size()) {
    std::size_t end = version.find('.', start);
    if (end == std::string_view::npos) end = version.size();
    const std::string_view part = version.substr(start, end - start);
    if (!part.empty()) {
      std::uint64_t value = 0;
      for (char c : part) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > 0xFFFFFFFFull) value = 0xFFFFFFFFull;  // parts are 32-bit numbers
      }
      parts[count++] = value;
    }
    start = end + 1;
  }
  return parts;
}

}  // namespace

bool CompareVersions(std::string_view installed, std::string_view wanted) { return Parts(installed) < Parts(wanted); }

std::string NormaliseVersionText(std::string_view text) {
  std::string normalised;
  for (char c : text) {
    if (c == ' ') continue;
    normalised += c == ',' ? '.' : c;
  }
  return normalised;
}
