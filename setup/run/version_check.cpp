#include "run/version_check.h"

#include <cstdio>
#include <optional>

#include "messages/exit_codes.h"
#include "platform/files.h"
#include "log/setup_log.h"
#include "install/install.h"
#include "integration/launch.h"
#include "platform/paths.h"
#include "integration/settings.h"
#include "run/version.h"
#include "platform/profile.h"
#include "platform/version_resource.h"

namespace {

bool FileOpens(const std::optional<std::string>& path) {
  return path && FileStream(OpenFileUtf8(*path, "rb")) != nullptr;
}

// The "FileVersion" text of the first translation of `path`'s version
// resource, normalised; empty when there is none.
std::string ProgramVersion(const std::string& path) { return NormaliseVersionText(FileVersionText(path)); }

// Whether shortcuts were already made once for this user; sets the mark.
bool ShortcutsAlreadyConfigured() {
  const std::optional<std::string> settings = UserSettingsFile();
  if (!settings) return false;
  const bool configured = ReadProfileInt(*settings, "Install", "Shortcuts", 0) != 0;
  if (configured)
    LOG_NORMAL("Shortcuts have already been configured according to \"{}\".", *settings);
  else
    LOG_NORMAL("Shortcuts have not been configured according to \"{}\".", *settings);
  WriteProfileValue(*settings, "Install", "Shortcuts", "1");
  return configured;
}

}  // namespace

InstalledVersion CheckInstalledVersion(const InstallerConfig& config, const std::string& destination) {
  const std::optional<std::string> program = JoinPath(destination, kVersionedProgram);
  if (!FileOpens(program)) return InstalledVersion::kUnknown;
  FileOpens(JoinPath(destination, "basekit.dll"));
  if (!FileOpens(JoinPath(destination, "comms.dll"))) {
    LOG_WARNING("Check version can only find quenlith.exe (no helper files).");
    return InstalledVersion::kUnknown;
  }
  const std::string installed = ProgramVersion(*program);
  if (installed.empty()) return InstalledVersion::kUnknown;
  LOG_NORMAL("Version comparison {} vs {}", installed, config.setupCheckVersionMax);
  return CompareVersions(installed, config.setupCheckVersionMax) ? InstalledVersion::kOlder
                                                                 : InstalledVersion::kAsNewOrNewer;
}

ExitCode KeepUpToDateCopy(const InstallerConfig& config, const std::string& destination) {
  // Whatever the script offers of the shortcuts and the uninstall entry is
  // made again, once per user; no window counts steps.
  if (!ShortcutsAlreadyConfigured()) CreateShortcutsAndEntry(config, WizardChoices(), destination, nullptr);
  if (config.launchAuto != 0) {
    LOG_WARNING("Checked version is newer or equal, launching.");
    LaunchProduct(nullptr, config, destination);
    return kExitSuccess;
  }
  LOG_WARNING("Checked version is newer or equal, exiting.");
  return kExitUpToDate;
}

