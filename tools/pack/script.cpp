#include "pack/script.h"

#include "formats/layout.h"

namespace pack {
namespace {

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

std::string_view Trimmed(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

bool ContainsMarker(std::string_view line) {
  for (std::size_t p = 0; p + layout::kEndMarker.size() <= line.size(); ++p)
    if (layout::EqualsIgnoringCase(line.substr(p, layout::kEndMarker.size()), layout::kEndMarker)) return true;
  return false;
}

}  // namespace

PreparedScript PrepareScript(std::string_view raw) {
  PreparedScript result;
  if (raw.substr(0, 2) == "\xFF\xFE" || raw.substr(0, 2) == "\xFE\xFF") {
    result.error = "the script is UTF-16 text; save it as ANSI or UTF-8";
    return result;
  }
  if (raw.substr(0, 3) == "\xEF\xBB\xBF") {
    raw.remove_prefix(3);
    result.notes.push_back("removed the UTF-8 byte-order mark from the script");
  }
  if (raw.find('\0') != std::string_view::npos) {
    result.error = "the script holds NUL bytes; it must be INI text";
    return result;
  }

  std::vector<std::string_view> lines = SplitLines(raw);
  bool hasMarker = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!ContainsMarker(lines[i])) continue;
    const bool isLastLine = i + 1 == lines.size();
    if (!isLastLine || !layout::EqualsIgnoringCase(Trimmed(lines[i]), layout::kEndMarker)) {
      result.error = "the end marker " + std::string(layout::kEndMarker) + " stands on line " +
                     std::to_string(i + 1) + "; it may only be the script's last line";
      return result;
    }
    lines[i] = Trimmed(lines[i]);
    hasMarker = true;
  }
  if (!hasMarker) {
    if (lines.empty() || Trimmed(lines.back()) != layout::kEndMarkerComment) lines.push_back(layout::kEndMarkerComment);
    lines.push_back(layout::kEndMarker);
    result.notes.push_back("appended the end marker to the script");
  }
  for (std::string_view line : lines) {
    result.text += line;
    result.text += "\r\n";
  }
  return result;
}

}  // namespace pack
