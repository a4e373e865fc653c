#include "script/ini.h"

#include <cctype>
#include <limits>

#include "formats/ascii_case.h"

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

namespace {

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

}  // namespace

std::string IniDocument::Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = AsciiLower(c);
  return folded;
}

IniDocument::IniDocument(std::string_view text) {
  std::string section;
  bool inSection = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = TrimBlanks(text.substr(start, end - start));
    start = end + ((end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);

    if (!line.empty() && line.front() == '[') {
      const std::size_t close = line.find(']');
      section =
          Fold(TrimBlanks(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
      inSection = true;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inSection || equals == std::string_view::npos || line.front() == ';') continue;
    const std::string_view key = TrimBlanks(line.substr(0, equals));
    if (key.empty()) continue;
    values_.emplace(section + '\0' + Fold(key), std::string(Unquote(TrimBlanks(line.substr(equals + 1)))));
  }
}

std::optional<std::string> IniDocument::Find(std::string_view section, std::string_view key) const {
  const auto found = values_.find(Fold(section) + '\0' + Fold(key));
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

std::string IniDocument::String(std::string_view section, std::string_view key) const {
  return Find(section, key).value_or(std::string());
}

std::int32_t IniDocument::Int(std::string_view section, std::string_view key, std::int32_t fallback) const {
  const std::optional<std::string> value = Find(section, key);
  if (!value || value->empty()) return fallback;
  std::size_t at = 0;
  const bool negative = (*value)[0] == '-';
  if (negative || (*value)[0] == '+') at = 1;
  long long number = 0;
  for (; at < value->size() && std::isdigit(static_cast<unsigned char>((*value)[at])); ++at) {
    number = number * 10 + ((*value)[at] - '0');
    if (number > std::numeric_limits<std::int32_t>::max()) {
      number = std::numeric_limits<std::int32_t>::max() + (negative ? 1LL : 0LL);
      break;
    }
  }
  return static_cast<std::int32_t>(negative ? -number : number);
}
