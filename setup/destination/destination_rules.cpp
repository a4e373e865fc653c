#include "destination/destination_rules.h"

#include "platform/paths.h"
#include "formats/ascii_case.h"
#include "formats/layout.h"

std::string FolderPromptFor(const InstallerConfig& config) {
  if (config.destinationProgramFiles != 0) return "Please pick the Program Files directory.";
  if (config.destinationQuenlith != 0 || config.destinationProgramData != 0) return "Please pick the Quenlith directory.";
  if (config.destinationQuenlithPlugins != 0) return "Please pick the Quenlith plugin directory.";
  if (config.destinationQuenlithSkins != 0) return "Please pick the Quenlith skins directory.";
  return "Please pick the Quenlith plugin directory.";
}

std::string ComposeBrowsedDestinationFor(const InstallerConfig& config, std::string_view current,
                                         const std::optional<std::string>& picked) {
  if (!picked || layout::EqualsIgnoringCase(*picked, current)) return std::string(current);
  std::optional<std::string> composed = *picked;
  if (config.destinationQuenlith != 0)
    composed = JoinFolder(*picked, "Quenlith");
  else if (config.destinationDirectoryCreate != 0)
    composed = JoinFolder(*picked, config.destinationDirectoryTitle);
  if (!composed || Utf16Length(*composed) > kMaxPathLength) return std::string(current);
  return *composed;
}

namespace {

// "C:\..." or "\\server\...": a folder that does not depend on the current
// drive or working folder.
bool IsRootedFolder(std::string_view folder) {
  if (folder.size() < 3) return false;
  const char drive = AsciiLower(folder[0]);
  if (drive >= 'a' && drive <= 'z' && folder[1] == ':' && folder[2] == '\\') return true;
  return folder[0] == '\\' && folder[1] == '\\' && folder[2] != '\\';
}

}  // namespace

std::string UninstallKeyPath(std::string_view title) {
  if (title.empty()) return {};
  std::string path(kUninstallListKey);
  path += '\\';
  path += title;
  return path;
}

std::string PreviousInstallationFolder(std::string_view command) {
  const std::size_t start = command.find_first_not_of(' ');
  if (start == std::string_view::npos) return {};
  command.remove_prefix(start);
  // Arguments after a quoted program may hold backslashes of their own.
  if (command.front() == '"') {
    command.remove_prefix(1);
    command = command.substr(0, command.find('"'));
  }
  const std::size_t cut = command.rfind('\\');
  if (cut == std::string_view::npos) return {};
  std::string folder(command.substr(0, cut));
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return IsRootedFolder(folder) ? folder : std::string();
}

bool IsOutsideLocation(std::string_view text, const std::optional<std::string>& programData) {
  std::string folder(text);
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  if (!programData) return true;
  return !layout::EqualsIgnoringCase(folder, *programData);
}

PreviousInstallation ClassifyPreviousInstallation(std::string_view previous, std::string_view programFilesCandidate,
                                                  std::string_view programDataCandidate) {
  if (previous.empty()) return PreviousInstallation::kNone;
  if (layout::EqualsIgnoringCase(previous, programFilesCandidate)) return PreviousInstallation::kProgramFiles;
  if (!programDataCandidate.empty() && layout::EqualsIgnoringCase(previous, programDataCandidate))
    return PreviousInstallation::kProgramData;
  return PreviousInstallation::kElsewhere;
}
