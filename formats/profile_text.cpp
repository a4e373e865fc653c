#include "formats/profile_text.h"

#include "formats/ascii_case.h"

namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool ProfileText::PlainName(std::string_view name) {
  if (name.empty() || Blank(name.front()) || Blank(name.back()) || name.front() == '[' || name.front() == ';')
    return false;
  for (char c : name)
    if (c < 0x20 || c > 0x7E || c == '=' || c == ']') return false;
  return true;
}

bool ProfileText::PlainValue(std::string_view value) {
  // The system trims what it takes for blanks at either end, in any code page.
  auto clear = [](char c) { return c > 0x20 && c < 0x7F; };
  if (!value.empty() && (!clear(value.front()) || !clear(value.back()))) return false;
  for (char c : value)
    if (c == '\r' || c == '\n' || c == '\0') return false;
  return true;
}

std::optional<ProfileText> ProfileText::Parse(std::string_view bytes) {
  ProfileText text;
  Section* current = nullptr;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find("\r\n");
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end + 2);
    if (!line.empty() && line.front() == '[') {
      if (line.size() < 2 || line.back() != ']') return std::nullopt;
      const std::string_view name = line.substr(1, line.size() - 2);
      if (!PlainName(name) || text.sectionIndex_.count(AsciiLowered(name)) != 0) return std::nullopt;
      current = &text.FindOrAddSection(name);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (current == nullptr || equals == std::string_view::npos) return std::nullopt;
    const std::string_view name = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    if (!PlainName(name) || !PlainValue(value)) return std::nullopt;
    if (!current->index.emplace(AsciiLowered(name), current->keys.size()).second) return std::nullopt;
    current->keys.push_back({std::string(name), std::string(value)});
  }
  return text;
}

ProfileText::Section& ProfileText::FindOrAddSection(std::string_view name) {
  const auto [at, added] = sectionIndex_.emplace(AsciiLowered(name), sections_.size());
  if (added) sections_.push_back({std::string(name), {}, {}});
  return sections_[at->second];
}

void ProfileText::Set(std::string_view section, std::string_view key, std::string_view value) {
  Section& found = FindOrAddSection(section);
  const auto [at, added] = found.index.emplace(AsciiLowered(key), found.keys.size());
  if (added)
    found.keys.push_back({std::string(key), std::string(value)});
  else
    found.keys[at->second].value.assign(value);
}

std::string ProfileText::Bytes() const {
  std::size_t size = 0;
  for (const Section& section : sections_) {
    size += section.name.size() + 4;
    for (const Key& key : section.keys) size += key.name.size() + key.value.size() + 3;
  }
  std::string bytes;
  bytes.reserve(size);
  for (const Section& section : sections_) {
    bytes += '[';
    bytes += section.name;
    bytes += "]\r\n";
    for (const Key& key : section.keys) {
      bytes += key.name;
      bytes += '=';
      bytes += key.value;
      bytes += "\r\n";
    }
  }
  return bytes;
}
