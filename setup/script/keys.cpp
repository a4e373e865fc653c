#include "script/keys.h"

#include <algorithm>

#include "formats/ascii_case.h"

namespace {

using enum NamedFile;
using C = InstallerConfig;

constexpr ScriptKey kKeys[] = {
    {"install", "installerName", &C::installerName},
    {"install", "InstallerSilent", &C::installerSilent},
    {"product", "productName", &C::productName},
    {"product", "productShortName", &C::productShortName},
    {"product", "productVersion", &C::productVersion},
    {"product", "productCopyright", &C::productCopyright},
    {"product", "productWebLink", &C::productWebLink},
    {"product", "productDescription", &C::productDescription},
    {"product", "productInstructions", &C::productInstructions},
    {"product", "productInstructionsDescription", &C::productInstructionsDescription},
    {"product", "productInstructionsInstalling", &C::productInstructionsInstalling},
    {"product", "productInstructionsInstallingDescription", &C::productInstructionsInstallingDescription},
    {"product", "productInstructionsEnd", &C::productInstructionsEnd},
    {"product", "productInstructionsEndDescription", &C::productInstructionsEndDescription},
    {"product", "productLocationNotice", &C::productLocationNotice},
    {"destination", "destinationAuto", &C::destinationAuto},
    {"destination", "destinationProgramData", &C::destinationProgramData},
    {"destination", "destinationProgramFiles", &C::destinationProgramFiles},
    {"destination", "destinationQuenlithPlugins", &C::destinationQuenlithPlugins},
    {"destination", "destinationQuenlith", &C::destinationQuenlith},
    {"destination", "destinationQuenlithPelko", &C::destinationQuenlithPelko},
    {"destination", "destinationQuenlithSkins", &C::destinationQuenlithSkins},
    {"destination", "destinationDirectoryCreate", &C::destinationDirectoryCreate},
    {"destination", "destinationDirectoryTitle", &C::destinationDirectoryTitle},
    {"destination", "destinationDirectoryInstruction", &C::destinationDirectoryInstruction},
    {"date", "dateChange", &C::dateChange},
    {"date", "dateMonth", &C::dateMonth, 0, 1},
    {"date", "dateDay", &C::dateDay},
    {"date", "dateYear", &C::dateYear, 0, 1900},
    {"setup", "setupCheckIfQuenlithLoaded", &C::setupCheckIfQuenlithLoaded},
    {"setup", "setupCheckIfQuenlithLoadedText", &C::setupCheckIfQuenlithLoadedText},
    {"setup", "setupCheckIfQuenlithLoadedTitle", &C::setupCheckIfQuenlithLoadedTitle},
    {"setup", "setupCheckIfQuenlithExiting", &C::setupCheckIfQuenlithExiting},
    {"setup", "setupCheckVistaGreater", &C::setupCheckVistaGreater},
    {"setup", "setupCheckVistaGreaterText", &C::setupCheckVistaGreaterText},
    {"setup", "setupCheckVistaGreaterTitle", &C::setupCheckVistaGreaterTitle},
    {"setup", "setupFirstRun", &C::setupFirstRun},
    {"setup", "setupMediaPlayer", &C::setupMediaPlayer},
    {"setup", "setupDesktopIcon", &C::setupDesktopIcon},
    {"setup", "setupDesktopIconNum", &C::setupDesktopIconNum},
    {"setup", "setupDesktopIconLink", &C::setupDesktopIconLink, 0, 0, "setupDesktopIconNum", kInstalledFile},
    {"setup", "setupDesktopIconTitle", &C::setupDesktopIconTitle, 0, 0, "setupDesktopIconNum"},
    {"setup", "setupDesktopIconDescription", &C::setupDesktopIconDescription, 0, 0, "setupDesktopIconNum"},
    {"setup", "setupDesktopIconResource", &C::setupDesktopIconResource, -1, 0, "setupDesktopIconNum"},
    {"setup", "setupDesktopIconArguments", &C::setupDesktopIconArguments, 0, 0, "setupDesktopIconNum"},
    {"setup", "setupStartup", &C::setupStartup},
    {"setup", "setupStartMenu", &C::setupStartMenu},
    {"setup", "setupStartMenuDirectory", &C::setupStartMenuDirectory},
    {"setup", "setupStartMenuNum", &C::setupStartMenuNum},
    {"setup", "setupStartMenuLink", &C::setupStartMenuLink, 0, 0, "setupStartMenuNum", kInstalledFile},
    {"setup", "setupStartMenuTitle", &C::setupStartMenuTitle, 0, 0, "setupStartMenuNum"},
    {"setup", "setupStartMenuDescription", &C::setupStartMenuDescription, 0, 0, "setupStartMenuNum"},
    {"setup", "setupStartMenuResource", &C::setupStartMenuResource, -1, 0, "setupStartMenuNum"},
    {"setup", "setupStartMenuArguments", &C::setupStartMenuArguments, 0, 0, "setupStartMenuNum"},
    {"setup", "setupUninstallInformation", &C::setupUninstallInformation},
    {"setup", "setupUninstallInformationNum", &C::setupUninstallInformationNum},
    {"setup", "setupUninstallInformationHidden", &C::setupUninstallInformationHidden},
    {"setup", "setupUninstallInformationLink", &C::setupUninstallInformationLink, 0, 0,
     "setupUninstallInformationNum", kProgramPart},
    {"setup", "setupUninstallInformationTitle", &C::setupUninstallInformationTitle, 0, 0,
     "setupUninstallInformationNum"},
    {"setup", "setupUninstallInformationIcon", &C::setupUninstallInformationIcon, 0, 0, "setupUninstallInformationNum"},
    {"setup", "setupUninstallInformationPublisher", &C::setupUninstallInformationPublisher, 0, 0,
     "setupUninstallInformationNum"},
    {"setup", "setupUninstallInformationDisplayVersion", &C::setupUninstallInformationDisplayVersion, 0, 0,
     "setupUninstallInformationNum"},
    {"setup", "setupUninstallInformationEstimatedSize", &C::setupUninstallInformationEstimatedSize, 0, 0,
     "setupUninstallInformationNum"},
    {"plugin", "pluginAutoInstall", &C::pluginAutoInstall},
    {"plugin", "pluginAutoInstallNum", &C::pluginAutoInstallNum},
    {"plugin", "pluginAutoInstallLink", &C::pluginAutoInstallLink, 0, 0, "pluginAutoInstallNum", kPlugin},
    {"plugin", "pluginAutoInstallGuid", &C::pluginAutoInstallGuid, 0, 0, "pluginAutoInstallNum"},
    {"launch", "launch", &C::launch},
    {"launch", "launchAuto", &C::launchAuto},
    {"launch", "launchTarget", &C::launchTarget, 0, 0, nullptr, kInstalledFile},
    {"launch", "launchParameters", &C::launchParameters},
    {"setup", "setupCheckVersion", &C::setupCheckVersion},
    {"setup", "setupCheckVersionMax", &C::setupCheckVersionMax},
    {"setup", "setupCleanProgramFilesWithElevation", &C::setupCleanProgramFilesWithElevation},
    {"delete", "deleteFiles", &C::deleteFiles},
    {"delete", "deleteFilesNum", &C::deleteFilesNum},
    {"delete", "deleteFilenames", &C::deleteFilenames, 0, 0, "deleteFilesNum", kDeletedFile},
};

}  // namespace

std::span<const ScriptKey> ScriptKeys() { return kKeys; }

ValueKind KindOf(const ScriptKey& key) {
  return std::holds_alternative<std::int32_t InstallerConfig::*>(key.field) ||
                 std::holds_alternative<std::vector<std::int32_t> InstallerConfig::*>(key.field)
             ? ValueKind::kInteger
             : ValueKind::kString;
}

const ScriptKey* FindScriptKey(std::string_view section, std::string_view key, std::optional<std::int32_t>& index) {
  index.reset();
  for (const ScriptKey& entry : kKeys) {
    if (!EqualIgnoringCase(entry.section, section)) continue;
    const std::string_view name = entry.key;
    if (!entry.countKey) {
      if (EqualIgnoringCase(name, key)) return &entry;
      continue;
    }
    if (key.size() <= name.size() || !EqualIgnoringCase(name, key.substr(0, name.size()))) continue;
    const std::string_view digits = key.substr(name.size());
    // The reader forms indexed names with std::to_string: no sign, no leading zeros.
    if (digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string_view::npos ||
        (digits.size() > 1 && digits[0] == '0'))
      continue;
    std::int32_t number = 0;
    for (const char digit : digits) number = number * 10 + (digit - '0');
    index = number;
    return &entry;
  }
  return nullptr;
}

bool IsScriptSection(std::string_view section) {
  return std::any_of(std::begin(kKeys), std::end(kKeys),
                     [&](const ScriptKey& entry) { return EqualIgnoringCase(entry.section, section); });
}
