#include "formats/archive.h"

#include <cstring>

#include "formats/layout.h"

namespace archive {
namespace {

// Names Windows maps to devices in any folder, with or without an extension.
bool IsDeviceName(std::string_view component) {
  const std::string_view stem = component.substr(0, component.find('.'));
  static constexpr std::string_view kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  for (std::string_view device : kDevices)
    if (layout::EqualsIgnoringCase(stem, device)) return true;
  if (stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9') {
    const std::string_view prefix = stem.substr(0, 3);
    return layout::EqualsIgnoringCase(prefix, "COM") || layout::EqualsIgnoringCase(prefix, "LPT");
  }
  return false;
}

const char* ComponentProblem(std::string_view component) {
  if (component.empty()) return "empty folder name (leading, trailing or doubled backslash)";
  if (component == "." || component == "..") return "\".\" or \"..\" component";
  if (component.back() == '.' || component.back() == ' ') return "name ends in a dot or blank";
  if (IsDeviceName(component)) return "reserved device name";
  return nullptr;
}

}  // namespace

const char* EntryNameProblem(std::string_view name) {
  if (name.empty()) return "empty name";
  if (name.size() > kMaxNameLength) return "name longer than 259 bytes";
  for (unsigned char c : name) {
    if (c < 0x20) return "control character in name";
    if (c == ':') return "colon in name (drive or stream)";
    if (c == '/') return "forward slash in name";
    if (std::strchr("<>\"|?*", c) != nullptr) return "character not allowed in Windows file names";
  }
  std::size_t start = 0;
  while (true) {
    const std::size_t end = name.find('\\', start);
    const std::string_view component =
        name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (const char* problem = ComponentProblem(component)) return problem;
    if (end == std::string_view::npos) return nullptr;
    start = end + 1;
  }
}

std::string EncodeTable(const std::vector<Entry>& entries) {
  std::string out;
  out.reserve(kCountSize + entries.size() * kEntrySize);
  layout::AppendLe32(out, static_cast<std::uint32_t>(entries.size()));
  for (const Entry& entry : entries) {
    std::string field = entry.name.substr(0, kMaxNameLength);
    field.resize(kNameFieldSize, '\0');
    out += field;
    layout::AppendLe32(out, entry.size);
  }
  return out;
}

bool DecodeEntry(const unsigned char* field, Entry& entry) {
  const void* terminator = std::memchr(field, '\0', kNameFieldSize);
  if (terminator == nullptr) return false;
  entry.name.assign(reinterpret_cast<const char*>(field),
                    static_cast<const unsigned char*>(terminator) - field);
  entry.size = layout::ReadLe32(field + kNameFieldSize);
  return true;
}

std::uint64_t TableSize(std::int32_t count) {
  return kCountSize + (count > 0 ? std::uint64_t(count) * kEntrySize : 0);
}

}  // namespace archive

namespace archive {

const char* TableProblem(std::int32_t count, std::uint64_t archiveSize) {
  if (archiveSize < kCountSize) return "the archive is shorter than its entry count";
  if (TableSize(count) > archiveSize) return "the entry table runs past the end of the archive";
  return nullptr;
}

const char* EntryProblem(bool terminated, std::string_view name) {
  if (!terminated) return "an entry name without terminator";
  return EntryNameProblem(name);
}

}  // namespace archive
