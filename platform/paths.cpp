#include "platform/paths.h"

std::size_t Utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (unsigned char c : text) {
    if (c >= 0x80 && c < 0xC0) continue;  // a continuation byte belongs to the sequence before it
    units += c >= 0xF0 ? 2 : 1;
  }
  return units;
}

std::optional<std::string> JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '\\') path += '\\';
  path += name;
  if (Utf16Length(path) > kMaxPathLength) return std::nullopt;
  return path;
}

std::optional<std::string> JoinFolder(std::string_view folder, std::string_view name) {
  std::optional<std::string> path = JoinPath(folder, name);
  if (!path) return std::nullopt;
  *path += '\\';
  if (Utf16Length(*path) > kMaxPathLength) return std::nullopt;
  return path;
}

bool IsFullyQualified(std::string_view path) {
  if (path.size() >= 3 && path[1] == ':' && path[2] == '\\')
    return (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
  return path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
}

std::string DiskRootOf(std::string_view path) {
  const std::size_t backslash = path.find('\\');
  const std::size_t colon = path.find(':');
  if (backslash != std::string_view::npos && colon != std::string_view::npos && colon < backslash)
    return std::string(path.substr(0, backslash + 1));
  if (backslash != std::string_view::npos) {
    const std::size_t second = path.find('\\', backslash + 1);
    const std::size_t third = second == std::string_view::npos ? second : path.find('\\', second + 1);
    if (third != std::string_view::npos) return std::string(path.substr(0, third + 1));
  }
  return std::string(path);
}

std::string ParentFolderOf(std::string_view path) {
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  const std::size_t at = path.rfind('\\');
  if (at == std::string_view::npos || at == 0) return {};
  return std::string(path.substr(0, at));
}

std::string TrimTrailingBlanks(std::string_view path) {
  while (!path.empty() && path.back() == ' ') path.remove_suffix(1);
  return std::string(path);
}

std::uint64_t RequiredBytes(std::int32_t installedSize) {
  if (installedSize == 0) return 60000000;
  return 2 * static_cast<std::uint64_t>(static_cast<std::uint32_t>(installedSize));
}
