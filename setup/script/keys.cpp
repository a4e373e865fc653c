#include "script/keys.h"

#include <algorithm>

#include "formats/ascii_case.h"

namespace {

using enum NamedFile;
using C = InstallerConfig;

constexpr ScriptKey kKeys[] = {
    {"Install", "InstallerName", &C::installerName, "the wizard window's title"},
    {"Install", "InstallerSilent", &C::installerSilent,
     "1: install silently, without the wizard (\"/silent\" sets 1, \"/nosilent\" 0)"},
    {"Product", "ProductName", &C::productName, "stored; no further effect"},
    {"Product", "ProductShortName", &C::productShortName, "stored; no further effect"},
    {"Product", "ProductVersion", &C::productVersion, "stored; no further effect"},
    {"Product", "ProductCopyright", &C::productCopyright, "stored; no further effect"},
    {"Product", "ProductWebLink", &C::productWebLink, "stored; no further effect"},
    {"Product", "ProductDescription", &C::productDescription, "stored; no further effect"},
    {"Product", "ProductInstructions", &C::productInstructions, "stored; no further effect"},
    {"Product", "ProductInstructionsDescription", &C::productInstructionsDescription,
     "the wizard's header text on the location page"},
    {"Product", "ProductInstructionsInstalling", &C::productInstructionsInstalling, "stored; no further effect"},
    {"Product", "ProductInstructionsInstallingDescription", &C::productInstructionsInstallingDescription,
     "the wizard's header text on the installing page"},
    {"Product", "ProductInstructionsEnd", &C::productInstructionsEnd, "stored; no further effect"},
    {"Product", "ProductInstructionsEndDescription", &C::productInstructionsEndDescription,
     "the wizard's header text on the complete page"},
    {"Product", "ProductLocationNotice", &C::productLocationNotice,
     "the wizard's notice when the destination is not the default one"},
    {"Destination", "DestinationAuto", &C::destinationAuto,
     "1: choose the destination without asking (\"/prompt\" sets 0)"},
    {"Destination", "DestinationProgramData", &C::destinationProgramData,
     "1: the default destination is the program-data location (C:\\ProgramData\\Quenlith\\bin)"},
    {"Destination", "DestinationProgramFiles", &C::destinationProgramFiles,
     "1: the default destination is the program-files location"},
    {"Destination", "DestinationQuenlithPlugins", &C::destinationQuenlithPlugins,
     "1: the folder dialog asks for the product's plug-in folder"},
    {"Destination", "DestinationQuenlith", &C::destinationQuenlith,
     "1: the default destination is an earlier installation's folder, else the product's folder under program "
     "files"},
    {"Destination", "DestinationQuenlithPelko", &C::destinationQuenlithPelko, "stored; no further effect"},
    {"Destination", "DestinationQuenlithSkins", &C::destinationQuenlithSkins,
     "1: the folder dialog asks for the product's skins folder"},
    {"Destination", "DestinationDirectoryCreate", &C::destinationDirectoryCreate,
     "1: append DestinationDirectoryTitle to the default destination"},
    {"Destination", "DestinationDirectoryTitle", &C::destinationDirectoryTitle,
     "the name of that subfolder, also shown by the wizard"},
    {"Destination", "DestinationDirectoryInstruction", &C::destinationDirectoryInstruction,
     "stored; no further effect"},
    {"Date", "DateChange", &C::dateChange, "stored; no further effect"},
    {"Date", "DateMonth", &C::dateMonth, "the month (1 to 12) of the date given to every installed file", 0, 1},
    {"Date", "DateDay", &C::dateDay, "the day of that date"},
    {"Date", "DateYear", &C::dateYear, "the year (as 2026) of that date", 0, 1900},
    {"Setup", "SetupCheckIfQuenlithLoaded", &C::setupCheckIfQuenlithLoaded,
     "1: ask (wizard) or refuse (silent) when the product is running (\"/wait\" sets 0)"},
    {"Setup", "SetupCheckIfQuenlithLoadedText", &C::setupCheckIfQuenlithLoadedText, "the text of that question"},
    {"Setup", "SetupCheckIfQuenlithLoadedTitle", &C::setupCheckIfQuenlithLoadedTitle,
     "the caption of that question"},
    {"Setup", "SetupCheckIfQuenlithExiting", &C::setupCheckIfQuenlithExiting,
     "1: wait for the running product to close before installing (\"/wait\" sets 1)"},
    {"Setup", "SetupCheckVistaGreater", &C::setupCheckVistaGreater,
     "1: refuse Windows older than version 6 (Vista)"},
    {"Setup", "SetupCheckVistaGreaterText", &C::setupCheckVistaGreaterText, "the text of that refusal"},
    {"Setup", "SetupCheckVistaGreaterTitle", &C::setupCheckVistaGreaterTitle, "the caption of that refusal"},
    {"Setup", "SetupFirstRun", &C::setupFirstRun, "1: mark the product's first run in quenlith.ini"},
    {"Setup", "SetupMediaPlayer", &C::setupMediaPlayer, "1: register the media player plug-in (events.dll)"},
    {"Setup", "SetupDesktopIcon", &C::setupDesktopIcon,
     "1: create the desktop shortcuts (\"/nodesktop\" sets 0; the wizard's option)"},
    {"Setup", "SetupDesktopIconNum", &C::setupDesktopIconNum, "the number of desktop shortcuts"},
    {"Setup", "SetupDesktopIconLink", &C::setupDesktopIconLink,
     "a desktop shortcut's target, relative to the destination", 0, 0, "SetupDesktopIconNum", kInstalledFile},
    {"Setup", "SetupDesktopIconTitle", &C::setupDesktopIconTitle, "its name", 0, 0, "SetupDesktopIconNum"},
    {"Setup", "SetupDesktopIconDescription", &C::setupDesktopIconDescription, "its comment", 0, 0,
     "SetupDesktopIconNum"},
    {"Setup", "SetupDesktopIconResource", &C::setupDesktopIconResource,
     "its icon's index in the target (-1: the target's own icon)", -1, 0, "SetupDesktopIconNum"},
    {"Setup", "SetupDesktopIconArguments", &C::setupDesktopIconArguments, "its arguments", 0, 0,
     "SetupDesktopIconNum"},
    {"Setup", "SetupStartup", &C::setupStartup,
     "1: create the start-up shortcut (\"/nostartup\" sets 0; the wizard's option)"},
    {"Setup", "SetupStartMenu", &C::setupStartMenu,
     "1: create the start-menu shortcuts (\"/nostartmenu\" sets 0; the wizard's option)"},
    {"Setup", "SetupStartMenuDirectory", &C::setupStartMenuDirectory, "the start-menu folder's name"},
    {"Setup", "SetupStartMenuNum", &C::setupStartMenuNum, "the number of start-menu shortcuts"},
    {"Setup", "SetupStartMenuLink", &C::setupStartMenuLink,
     "a start-menu shortcut's target, relative to the destination", 0, 0, "SetupStartMenuNum", kInstalledFile},
    {"Setup", "SetupStartMenuTitle", &C::setupStartMenuTitle, "its name", 0, 0, "SetupStartMenuNum"},
    {"Setup", "SetupStartMenuDescription", &C::setupStartMenuDescription, "its comment", 0, 0, "SetupStartMenuNum"},
    {"Setup", "SetupStartMenuResource", &C::setupStartMenuResource,
     "its icon's index in the target (-1: the target's own icon)", -1, 0, "SetupStartMenuNum"},
    {"Setup", "SetupStartMenuArguments", &C::setupStartMenuArguments, "its arguments", 0, 0, "SetupStartMenuNum"},
    {"Setup", "SetupUninstallInformation", &C::setupUninstallInformation,
     "1: write the per-user uninstall entry (the wizard's option)"},
    {"Setup", "SetupUninstallInformationNum", &C::setupUninstallInformationNum,
     "the number of uninstall entries (the installer writes the first)"},
    {"Setup", "SetupUninstallInformationHidden", &C::setupUninstallInformationHidden,
     "1: the wizard hides its uninstall-entry option"},
    {"Setup", "SetupUninstallInformationLink", &C::setupUninstallInformationLink,
     "the uninstall command (UninstallString), its program relative to the destination", 0, 0,
     "SetupUninstallInformationNum", kProgramPart},
    {"Setup", "SetupUninstallInformationTitle", &C::setupUninstallInformationTitle,
     "the display name (DisplayName); entry 0's also names the uninstall key, and without it no entry is written",
     0, 0, "SetupUninstallInformationNum"},
    {"Setup", "SetupUninstallInformationIcon", &C::setupUninstallInformationIcon,
     "the icon (DisplayIcon), relative to the destination", 0, 0, "SetupUninstallInformationNum"},
    {"Setup", "SetupUninstallInformationPublisher", &C::setupUninstallInformationPublisher,
     "the publisher (Publisher)", 0, 0, "SetupUninstallInformationNum"},
    {"Setup", "SetupUninstallInformationDisplayVersion", &C::setupUninstallInformationDisplayVersion,
     "the version shown (DisplayVersion)", 0, 0, "SetupUninstallInformationNum"},
    {"Setup", "SetupUninstallInformationEstimatedSize", &C::setupUninstallInformationEstimatedSize,
     "the installed size in bytes (EstimatedSize, in KiB), also the disk space the destination needs", 0, 0,
     "SetupUninstallInformationNum"},
    {"Plugin", "PluginAutoInstall", &C::pluginAutoInstall,
     "1: add the plug-ins to the product's plug-in list (users\\global\\plugins.ini)"},
    {"Plugin", "PluginAutoInstallNum", &C::pluginAutoInstallNum, "the number of plug-ins"},
    {"Plugin", "PluginAutoInstallLink", &C::pluginAutoInstallLink,
     "a plug-in's file, relative to the destination's plugins folder", 0, 0, "PluginAutoInstallNum", kPlugin},
    {"Plugin", "PluginAutoInstallGuid", &C::pluginAutoInstallGuid, "its identifier", 0, 0, "PluginAutoInstallNum"},
    {"Launch", "Launch", &C::launch, "stored; no further effect"},
    {"Launch", "LaunchAuto", &C::launchAuto,
     "1: launch the product at the end (the wizard then closes instead of showing its complete page)"},
    {"Launch", "LaunchTarget", &C::launchTarget,
     "the program to launch, relative to the destination (launched only when its signature verifies)", 0, 0,
     nullptr, kInstalledFile},
    {"Launch", "LaunchParameters", &C::launchParameters, "its arguments (empty: none)"},
    {"Setup", "SetupCheckVersion", &C::setupCheckVersion,
     "1: a silent run installs only over an older copy (\"/checkversion\" sets 1 when SetupCheckVersionMax is "
     "set)"},
    {"Setup", "SetupCheckVersionMax", &C::setupCheckVersionMax,
     "the version (as 6.6.0.18) the installed quenlith.exe's FileVersion is compared with; the package's own "
     "program should carry it"},
    {"Setup", "SetupCleanProgramFilesWithElevation", &C::setupCleanProgramFilesWithElevation,
     "1: remove an earlier copy under program files when installing to the program-data location, elevating if "
     "needed"},
    {"Delete", "DeleteFiles", &C::deleteFiles, "1: delete the listed files of older versions after installing"},
    {"Delete", "DeleteFilesNum", &C::deleteFilesNum, "the number of files to delete"},
    {"Delete", "DeleteFilenames", &C::deleteFilenames,
     "a file to delete, relative to the destination (as plugins\\old.dll)", 0, 0, "DeleteFilesNum",
     kDeletedFile},
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
