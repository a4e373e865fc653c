#pragma once
// InstallerConfig: every value of the installer script after the command-line
// overrides, one field per key, named as the script reader spells the key.
// Needs no Windows API.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "script/command_line.h"
#include "script/ini.h"

struct InstallerConfig {
  // [install]
  std::string installerName;
  std::int32_t installerSilent = 0;
  // [product]
  std::string productName, productShortName, productVersion, productCopyright, productWebLink, productDescription,
      productInstructions, productInstructionsDescription, productInstructionsInstalling,
      productInstructionsInstallingDescription, productInstructionsEnd, productInstructionsEndDescription,
      productLocationNotice;
  // [destination]
  std::int32_t destinationAuto = 0, destinationProgramData = 0, destinationProgramFiles = 0,
               destinationQuenlithPlugins = 0, destinationQuenlith = 0, destinationQuenlithPelko = 0,
               destinationQuenlithSkins = 0, destinationDirectoryCreate = 0;
  std::string destinationDirectoryTitle, destinationDirectoryInstruction;
  // [date]; the month is stored minus 1 and the year minus 1900, as in struct tm.
  std::int32_t dateChange = 0, dateMonth = -1, dateDay = 0, dateYear = -1900;
  // [setup]
  std::int32_t setupCheckIfQuenlithLoaded = 0;
  std::string setupCheckIfQuenlithLoadedText, setupCheckIfQuenlithLoadedTitle;
  std::int32_t setupCheckIfQuenlithExiting = 0, setupCheckVistaGreater = 0;
  std::string setupCheckVistaGreaterText, setupCheckVistaGreaterTitle;
  std::int32_t setupFirstRun = 0, setupMediaPlayer = 0;

  std::int32_t setupDesktopIcon = 0, setupDesktopIconNum = 0;
  std::vector<std::string> setupDesktopIconLink, setupDesktopIconTitle, setupDesktopIconDescription;
  std::vector<std::int32_t> setupDesktopIconResource;  // -1 when absent: no icon location
  std::vector<std::string> setupDesktopIconArguments;

  std::int32_t setupStartup = 0, setupStartMenu = 0;
  std::string setupStartMenuDirectory;
  std::int32_t setupStartMenuNum = 0;
  std::vector<std::string> setupStartMenuLink, setupStartMenuTitle, setupStartMenuDescription;
  std::vector<std::int32_t> setupStartMenuResource;
  std::vector<std::string> setupStartMenuArguments;

  std::int32_t setupUninstallInformation = 0, setupUninstallInformationNum = 0, setupUninstallInformationHidden = 0;
  std::vector<std::string> setupUninstallInformationLink, setupUninstallInformationTitle,
      setupUninstallInformationIcon, setupUninstallInformationPublisher, setupUninstallInformationDisplayVersion;
  std::vector<std::int32_t> setupUninstallInformationEstimatedSize;  // bytes
  // [plugin]
  std::int32_t pluginAutoInstall = 0, pluginAutoInstallNum = 0;
  std::vector<std::string> pluginAutoInstallLink, pluginAutoInstallGuid;
  // [launch]
  std::int32_t launch = 0, launchAuto = 0;
  std::string launchTarget;
  std::optional<std::string> launchParameters;  // none when empty: no argument string
  // [setup], read after [launch]
  std::int32_t setupCheckVersion = 0;
  std::string setupCheckVersionMax;
  std::int32_t setupCleanProgramFilesWithElevation = 0;
  // [delete]
  std::int32_t deleteFiles = 0, deleteFilesNum = 0;
  std::vector<std::string> deleteFilenames;
};

// What the user chose to set up besides the files, 1 or 0 each: the
// wizard's check boxes, or in a silent run the script's switches. All on
// until the location page says otherwise.
struct WizardChoices {
  std::int32_t startMenu = 1;
  std::int32_t desktop = 1;
  std::int32_t uninstall = 1;
  std::int32_t startup = 1;
};

// The script's switches as the choices of a run that asks nobody.
WizardChoices ScriptChoices(const InstallerConfig& config);

// The first uninstall entry's title (which names the uninstall key) and
// installed size in bytes; empty and 0 when the script has none.
std::string UninstallTitle(const InstallerConfig& config);
std::int32_t InstalledSize(const InstallerConfig& config);

// The names, relative to the destination, of the files RemoveOlderFiles
// deletes after installing: the deleteFilenames below deleteFilesNum when
// deleteFiles is on; none when it is off.
std::vector<std::string> OlderFilesToDelete(const InstallerConfig& config);

// More entries than this in one indexed family are treated like a count too
// large to allocate: the family has no entries.
inline constexpr std::int32_t kMaxFamilyEntries = 65536;

// Fills `config` from the script `script`, key by key as the table
// ScriptKeys (script/keys.h) lists them, and applies the command line's
// overrides. Every key absent from the script takes its default. Returns
// what the installer cannot use as written (a family too large to hold, a
// value that is not UTF-8), one text per problem naming its key.
std::vector<std::string> FillInstallerConfig(const IniDocument& script, const CommandLine& commandLine,
                                             InstallerConfig& config);
