#include "wizard/location_page.h"

#include "log/setup_log.h"
#include "destination/destination.h"
#include "destination/destination_rules.h"
#include "platform/paths.h"
#include "integration/relaunch_location.h"
#include "messages/messages.h"
#include "state/run_state.h"
#include "platform/system.h"
#include "destination/validation.h"

namespace {

std::optional<std::string> ProgramDataDefault() {
  std::string location = ProgramDataLocation();
  if (location.empty()) return std::nullopt;
  return location;
}

WizardChoices MaskedChoices(const InstallerConfig& config, const WizardChoices& boxes) {
  return {config.setupStartMenu != 0 ? boxes.startMenu : 0, config.setupDesktopIcon != 0 ? boxes.desktop : 0,
          config.setupUninstallInformation != 0 ? boxes.uninstall : 0, config.setupStartup != 0 ? boxes.startup : 0};
}

}  // namespace

std::string FolderPrompt(const InstallerConfig& config) { return FolderPromptFor(config); }

std::string ComposeBrowsedDestination(const InstallerConfig& config, const std::string& current,
                                      const std::optional<std::string>& picked) {
  return ComposeBrowsedDestinationFor(config, current, picked);
}

std::optional<std::string> RestoreDefaultLocation(const InstallerConfig& config) {
  if (config.destinationQuenlith == 0 && config.destinationProgramData == 0) return std::nullopt;
  return ProgramDataDefault();
}

bool IsOutsideDefaultLocation(const std::string& text) { return IsOutsideLocation(text, ProgramDataDefault()); }

DestinationAnswer ConfirmDestination(HWND page, const WizardChoices& boxes, const std::string& text) {
  wizardChoices = MaskedChoices(installerConfig, boxes);
  LOG_NORMAL("Destination is \"{}\".", text);
  // The folder that is checked is the one installed into, without the
  // trailing blanks the platform may or may not strip itself.
  const std::string folder = TrimTrailingBlanks(text);
  // A path the platform cannot hold is refused as a folder that cannot be
  // made, rather than cut into some other folder.
  if (Utf16Length(folder) > kMaxPathLength) {
    LOG_WARNING("Exiting, the destination \"{}\" is too long.", folder);
    SetupMessageBox(page, "Unable to create directory, please change.", "Unable to create directory", MB_OK);
    return DestinationAnswer::kRefused;
  }
  if (!AcceptDiskSpace(installerConfig, folder, page)) return DestinationAnswer::kRefused;
  bool ready = false;
  if (setupCommandLine.Has("/elevate")) {
    // Already the elevated copy: asking again would loop.
    ready = AcceptDirectory(folder, page);
  } else if (CreateAndValidateDirectory(folder) == DirectoryCheck::kReady) {
    ready = true;
  } else if (ReportedSystemVersion().major >= 6) {
    LOG_WARNING("Unable to validate directory, restarting with elevation.");
    return RelaunchFromLocationPage(wizardChoices, text) ? DestinationAnswer::kRelaunched : DestinationAnswer::kRefused;
  } else {
    ready = AcceptDirectory(folder, page);
  }
  if (!ready) return DestinationAnswer::kRefused;
  destinationDir = folder;
  return DestinationAnswer::kAccepted;
}
