#include "destination/destination_rules.h"

#include "platform/paths.h"
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

std::string UninstallKeyPath(std::string_view title) {
  if (title.empty()) return {};
  std::string path(kUninstallListKey);
  path += '\\';
  path += title;
  return path;
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
