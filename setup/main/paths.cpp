#include "main/paths.h"

std::optional<std::string> JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '\\') path += '\\';
  path += name;
  if (path.size() > kMaxPathLength) return std::nullopt;
  return path;
}

std::optional<std::string> JoinFolder(std::string_view folder, std::string_view name) {
  std::optional<std::string> path = JoinPath(folder, name);
  if (!path) return std::nullopt;
  *path += '\\';
  if (path->size() > kMaxPathLength) return std::nullopt;
  return path;
}
