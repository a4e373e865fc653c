#include "try/wine_registry.h"

#include <cctype>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "try/text.h"

namespace quenlith_try {
namespace fs = std::filesystem;

namespace {

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Reads a string Wine escaped, from just after its opening `quote` up to the
// closing one; `at` is left after the closing quote. Wine writes characters
// outside printable ASCII as \x and up to four hexadecimal digits (UTF-16
// units); any other byte stands for itself.
std::string ReadEscaped(const std::string& line, std::size_t& at, char quote) {
  std::string out;
  std::vector<std::uint16_t> units;  // escaped units not yet converted, so that surrogate pairs meet
  auto flush = [&] {
    out += Utf8FromUnits(units);
    units.clear();
  };
  while (at < line.size() && line[at] != quote) {
    char c = line[at++];
    if (c != '\\' || at >= line.size()) {
      flush();
      out += c;
      continue;
    }
    c = line[at++];
    switch (c) {
      case 'n': units.push_back('\n'); break;
      case 'r': units.push_back('\r'); break;
      case 't': units.push_back('\t'); break;
      case 'a': units.push_back('\a'); break;
      case 'b': units.push_back('\b'); break;
      case 'e': units.push_back(0x1B); break;
      case 'f': units.push_back('\f'); break;
      case 'v': units.push_back('\v'); break;
      case '0': units.push_back(0); break;
      case 'x': {
        std::uint16_t value = 0;
        for (int digits = 0; digits < 4 && at < line.size() && IsHex(line[at]); ++digits)
          value = static_cast<std::uint16_t>(value * 16 + std::stoi(std::string(1, line[at++]), nullptr, 16));
        units.push_back(value);
        break;
      }
      default: units.push_back(static_cast<unsigned char>(c)); break;
    }
  }
  flush();
  if (at < line.size()) ++at;  // the closing quote
  return out;
}

RegistryValue ParseValueData(std::string name, const std::string& data) {
  RegistryValue value;
  value.name = std::move(name);
  std::size_t at = 0;
  if (data.rfind("\"", 0) == 0 || data.rfind("str(2):\"", 0) == 0 || data.rfind("str(7):\"", 0) == 0) {
    value.type = data[0] == '"' ? "REG_SZ" : data[4] == '2' ? "REG_EXPAND_SZ" : "REG_MULTI_SZ";
    at = data.find('"') + 1;
    value.data = ReadEscaped(data, at, '"');
  } else if (data.rfind("dword:", 0) == 0) {
    value.type = "REG_DWORD";
    value.data = std::to_string(std::stoul(data.substr(6), nullptr, 16));
  } else if (data.rfind("hex:", 0) == 0) {
    value.type = "REG_BINARY";
    value.data = data.substr(4);
  } else if (data.rfind("hex(b):", 0) == 0) {
    value.type = "REG_QWORD";
    value.data = data.substr(7);
  } else {
    const std::size_t colon = data.find(':');
    value.type = colon == std::string::npos ? std::string("unknown") : data.substr(0, colon);
    value.data = colon == std::string::npos ? data : data.substr(colon + 1);
  }
  return value;
}

}  // namespace

RegistryFile ParseRegistryText(const std::string& text) {
  RegistryFile file;
  std::vector<RegistryValue>* current = nullptr;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Hexadecimal data goes on over lines that end in a backslash.
    while (!line.empty() && line.back() == '\\' && line.find('=') != std::string::npos &&
           line.find("=hex") != std::string::npos) {
      std::string next;
      if (!std::getline(lines, next)) break;
      line.pop_back();
      const std::size_t start = next.find_first_not_of(' ');
      line += start == std::string::npos ? std::string() : next.substr(start);
    }
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      std::size_t at = 1;
      const std::string key = ReadEscaped(line, at, ']');
      current = &file[key];
      continue;
    }
    if (current == nullptr) continue;
    std::string name;
    std::size_t at = 0;
    if (line[0] == '@') {
      at = 1;
    } else if (line[0] == '"') {
      at = 1;
      name = ReadEscaped(line, at, '"');
    } else {
      continue;
    }
    if (at >= line.size() || line[at] != '=') continue;
    current->push_back(ParseValueData(std::move(name), line.substr(at + 1)));
  }
  return file;
}

RegistryFile ReadRegistryFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream text;
  text << in.rdbuf();
  return ParseRegistryText(text.str());
}

}  // namespace quenlith_try
