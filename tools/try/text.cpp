#include "try/text.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "formats/utf8.h"

namespace quenlith_try {

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string WithoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  return std::equal(end.rbegin(), end.rend(), text.rbegin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

std::string Utf8FromUnits(const std::vector<std::uint16_t>& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t code = units[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;
    }
    utf8::AppendCodePoint(out, code);
  }
  return out;
}

}  // namespace quenlith_try
