#include "payload.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <system_error>

#include "files.h"

namespace pack {
namespace {

constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFFull;
// Installer paths hold 259 characters before their terminator.
constexpr std::size_t kMaxInstallerPath = 259;

std::string FoldCase(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name;
}

// The entry name of `relative`, or an error when a component holds a
// backslash (it would read as a folder separator on Windows).
bool EntryNameOf(const std::filesystem::path& relative, std::string& name) {
  name.clear();
  for (const std::filesystem::path& component : relative) {
    const std::string text = component.string();
    if (text.find('\\') != std::string::npos) return false;
    if (!name.empty()) name += '\\';
    name += text;
  }
  return true;
}

}  // namespace

Payload CollectPayload(const std::filesystem::path& folder, std::size_t destinationRoom) {
  Payload payload;
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    payload.errors.push_back("payload folder " + Quoted(folder) + " does not exist or is not a folder");
    return payload;
  }
  const std::size_t maxNameLength =
      std::min(archive::kMaxNameLength, destinationRoom + 1 < kMaxInstallerPath ? kMaxInstallerPath - destinationRoom - 1 : 0);

  std::map<std::string, std::string> foldedNames;  // folded name -> first name seen
  std::filesystem::recursive_directory_iterator it(folder, error), end;
  if (error) payload.errors.push_back("cannot list " + Quoted(folder) + ": " + error.message());
  for (; !error && it != end; it.increment(error)) {
    const std::filesystem::directory_entry& item = *it;
    const std::filesystem::path relative = item.path().lexically_relative(folder);
    std::error_code statusError;
    const bool isLink = item.is_symlink(statusError);
    if (item.is_directory(statusError)) {
      if (isLink) {
        payload.errors.push_back(Quoted(relative) + " is a link to a folder; copy the folder instead");
        it.disable_recursion_pending();
      } else if (std::filesystem::is_empty(item.path(), statusError)) {
        payload.warnings.push_back("empty folder " + Quoted(relative) + " is left out: the archive holds files only");
      }
      continue;
    }
    if (!item.is_regular_file(statusError)) {
      payload.errors.push_back(Quoted(relative) + " is not a regular file or cannot be read");
      continue;
    }
    PayloadFile file;
    file.source = item.path();
    if (!EntryNameOf(relative, file.entry.name)) {
      payload.errors.push_back(Quoted(relative) + ": a backslash in a file or folder name");
      continue;
    }
    if (const char* problem = archive::EntryNameProblem(file.entry.name)) {
      payload.errors.push_back(Quoted(relative) + ": " + problem);
      continue;
    }
    if (file.entry.name.size() > maxNameLength) {
      payload.errors.push_back(Quoted(relative) + ": name of " + std::to_string(file.entry.name.size()) +
                               " bytes would make the installed path too long (at most " +
                               std::to_string(maxNameLength) + " with " + std::to_string(destinationRoom) +
                               " characters left for the destination)");
      continue;
    }
    const std::uint64_t size = item.file_size(statusError);
    if (statusError) {
      payload.errors.push_back(Quoted(relative) + ": cannot read its size: " + statusError.message());
      continue;
    }
    if (size > kMaxFileSize) {
      payload.errors.push_back(Quoted(relative) + ": " + std::to_string(size) +
                               " bytes; files must be smaller than 4 GiB");
      continue;
    }
    const auto [previous, inserted] = foldedNames.emplace(FoldCase(file.entry.name), file.entry.name);
    if (!inserted) {
      payload.errors.push_back(Quoted(relative) + " and \"" + previous->second +
                               "\" differ only in letter case and would be one file on Windows");
      continue;
    }
    file.entry.size = static_cast<std::uint32_t>(size);
    payload.totalBytes += size;
    payload.files.push_back(std::move(file));
  }
  if (error) payload.errors.push_back("cannot list " + Quoted(folder) + ": " + error.message());
  if (payload.files.empty() && payload.errors.empty())
    payload.errors.push_back("payload folder " + Quoted(folder) + " holds no files");

  std::sort(payload.files.begin(), payload.files.end(),
            [](const PayloadFile& a, const PayloadFile& b) { return a.entry.name < b.entry.name; });
  return payload;
}

}  // namespace pack
