#include "script/config.h"

#include <cstdint>
#include <new>
#include <string_view>
#include <stdexcept>

namespace {

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    std::uint32_t point = c;
    if (c >= 0xF0 && c <= 0xF4) length = 4, point = c & 0x07;
    else if (c >= 0xE0) length = 3, point = c & 0x0F;
    else if (c >= 0xC2 && c < 0xE0) length = 2, point = c & 0x1F;
    else if (c >= 0x80) return false;
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = point << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and points past U+10FFFF are not UTF-8.
    if ((length == 3 && point < 0x800) || (length == 4 && (point < 0x10000 || point > 0x10FFFF)) ||
        (point >= 0xD800 && point <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

// Reads the script's values and notes what the installer cannot use as written.
class Reader {
 public:
  Reader(const IniDocument& script, std::vector<std::string>& problems) : script_(script), problems_(problems) {}

  std::string String(const char* section, const std::string& key) const {
    std::string value = script_.String(section, key);
    if (!IsValidUtf8(value)) problems_.push_back("the value of " + key + " is not valid UTF-8");
    return value;
  }
  std::int32_t Int(const char* section, const std::string& key, std::int32_t fallback) const {
    return script_.Int(section, key, fallback);
  }
  void Note(std::string problem) const { problems_.push_back(std::move(problem)); }

 private:
  const IniDocument& script_;
  std::vector<std::string>& problems_;
};

// Sizes the family's arrays to `count` entries (none for a count of 0 or
// less, or one too large to allocate) and returns the number of entries.
template <typename... Arrays>
std::int32_t AllocateFamily(const Reader& read, const char* countKey, std::int32_t& count, Arrays&... arrays) {
  const std::int32_t entries = count > 0 && count <= kMaxFamilyEntries ? count : 0;
  try {
    (arrays.assign(static_cast<std::size_t>(entries), typename Arrays::value_type{}), ...);
  } catch (const std::bad_alloc&) {
    read.Note(std::string(countKey) + " = " + std::to_string(count) + " is too many entries to hold; the family has none");
    (arrays.clear(), ...);
    count = 0;
    return 0;
  }
  if (count > kMaxFamilyEntries) {
    read.Note(std::string(countKey) + " = " + std::to_string(count) + " is more than " +
              std::to_string(kMaxFamilyEntries) + " entries; the family has none");
    count = 0;
  }
  return entries;
}

std::string Indexed(const char* key, std::int32_t index) { return key + std::to_string(index); }

// A family of shortcuts ("setupDesktopIcon", "setupStartMenu"): per index
// Link, Title, Description, Resource (default -1) and Arguments.
void ReadShortcutFamily(const Reader& script, const std::string& family, std::int32_t& count,
                        std::vector<std::string>& link, std::vector<std::string>& title,
                        std::vector<std::string>& description, std::vector<std::int32_t>& resource,
                        std::vector<std::string>& arguments) {
  const std::int32_t entries = AllocateFamily(script, (family + "Num").c_str(), count, link, title, description, resource, arguments);
  for (std::int32_t i = 0; i < entries; ++i) {
    link[i] = script.String("setup", Indexed((family + "Link").c_str(), i));
    title[i] = script.String("setup", Indexed((family + "Title").c_str(), i));
    description[i] = script.String("setup", Indexed((family + "Description").c_str(), i));
    resource[i] = script.Int("setup", Indexed((family + "Resource").c_str(), i), -1);
    arguments[i] = script.String("setup", Indexed((family + "Arguments").c_str(), i));
  }
}

}  // namespace

WizardChoices ScriptChoices(const InstallerConfig& config) {
  return {config.setupStartMenu, config.setupDesktopIcon, config.setupUninstallInformation, config.setupStartup};
}

std::string UninstallTitle(const InstallerConfig& config) {
  return config.setupUninstallInformationTitle.empty() ? std::string() : config.setupUninstallInformationTitle[0];
}

std::int32_t InstalledSize(const InstallerConfig& config) {
  return config.setupUninstallInformationEstimatedSize.empty() ? 0 : config.setupUninstallInformationEstimatedSize[0];
}

std::vector<std::string> FillInstallerConfig(const IniDocument& document, const CommandLine& commandLine,
                                             InstallerConfig& c) {
  std::vector<std::string> problems;
  const Reader script(document, problems);
  auto str = [&script](const char* section, const char* key) { return script.String(section, key); };
  auto num = [&script](const char* section, const char* key, std::int32_t fallback = 0) {
    return script.Int(section, key, fallback);
  };

  c.installerName = str("install", "installerName");
  c.installerSilent = num("install", "InstallerSilent");
  if (commandLine.Has("/nosilent"))
    c.installerSilent = 0;
  else if (commandLine.Has("/silent"))
    c.installerSilent = 1;

  c.productName = str("product", "productName");
  c.productShortName = str("product", "productShortName");
  c.productVersion = str("product", "productVersion");
  c.productCopyright = str("product", "productCopyright");
  c.productWebLink = str("product", "productWebLink");
  c.productDescription = str("product", "productDescription");
  c.productInstructions = str("product", "productInstructions");
  c.productInstructionsDescription = str("product", "productInstructionsDescription");
  c.productInstructionsInstalling = str("product", "productInstructionsInstalling");
  c.productInstructionsInstallingDescription = str("product", "productInstructionsInstallingDescription");
  c.productInstructionsEnd = str("product", "productInstructionsEnd");
  c.productInstructionsEndDescription = str("product", "productInstructionsEndDescription");
  c.productLocationNotice = str("product", "productLocationNotice");

  c.destinationAuto = num("destination", "destinationAuto");
  if (commandLine.Has("/prompt")) c.destinationAuto = 0;
  c.destinationProgramData = num("destination", "destinationProgramData");
  c.destinationProgramFiles = num("destination", "destinationProgramFiles");
  c.destinationQuenlithPlugins = num("destination", "destinationQuenlithPlugins");
  c.destinationQuenlith = num("destination", "destinationQuenlith");
  c.destinationQuenlithPelko = num("destination", "destinationQuenlithPelko");
  c.destinationQuenlithSkins = num("destination", "destinationQuenlithSkins");
  c.destinationDirectoryCreate = num("destination", "destinationDirectoryCreate");
  c.destinationDirectoryTitle = str("destination", "destinationDirectoryTitle");
  c.destinationDirectoryInstruction = str("destination", "destinationDirectoryInstruction");

  c.dateChange = num("date", "dateChange");
  c.dateMonth = num("date", "dateMonth") - 1;
  c.dateDay = num("date", "dateDay");
  c.dateYear = num("date", "dateYear") - 1900;

  const bool wait = commandLine.Has("/wait");
  c.setupCheckIfQuenlithLoaded = num("setup", "setupCheckIfQuenlithLoaded");
  if (wait) c.setupCheckIfQuenlithLoaded = 0;
  c.setupCheckIfQuenlithLoadedText = str("setup", "setupCheckIfQuenlithLoadedText");
  c.setupCheckIfQuenlithLoadedTitle = str("setup", "setupCheckIfQuenlithLoadedTitle");
  c.setupCheckIfQuenlithExiting = num("setup", "setupCheckIfQuenlithExiting");
  if (wait) c.setupCheckIfQuenlithExiting = 1;
  c.setupCheckVistaGreater = num("setup", "setupCheckVistaGreater");
  c.setupCheckVistaGreaterText = str("setup", "setupCheckVistaGreaterText");
  c.setupCheckVistaGreaterTitle = str("setup", "setupCheckVistaGreaterTitle");
  c.setupFirstRun = num("setup", "setupFirstRun");
  c.setupMediaPlayer = num("setup", "setupMediaPlayer");

  c.setupDesktopIcon = num("setup", "setupDesktopIcon");
  if (commandLine.Has("/nodesktop")) c.setupDesktopIcon = 0;
  c.setupDesktopIconNum = num("setup", "setupDesktopIconNum");
  ReadShortcutFamily(script, "setupDesktopIcon", c.setupDesktopIconNum, c.setupDesktopIconLink, c.setupDesktopIconTitle,
                     c.setupDesktopIconDescription, c.setupDesktopIconResource, c.setupDesktopIconArguments);

  c.setupStartup = num("setup", "setupStartup");
  if (commandLine.Has("/nostartup")) c.setupStartup = 0;
  c.setupStartMenu = num("setup", "setupStartMenu");
  if (commandLine.Has("/nostartmenu")) c.setupStartMenu = 0;
  c.setupStartMenuDirectory = str("setup", "setupStartMenuDirectory");
  c.setupStartMenuNum = num("setup", "setupStartMenuNum");
  ReadShortcutFamily(script, "setupStartMenu", c.setupStartMenuNum, c.setupStartMenuLink, c.setupStartMenuTitle,
                     c.setupStartMenuDescription, c.setupStartMenuResource, c.setupStartMenuArguments);

  c.setupUninstallInformation = num("setup", "setupUninstallInformation");
  c.setupUninstallInformationNum = num("setup", "setupUninstallInformationNum");
  c.setupUninstallInformationHidden = num("setup", "setupUninstallInformationHidden");
  const std::int32_t uninstall = AllocateFamily(
      script, "setupUninstallInformationNum", c.setupUninstallInformationNum, c.setupUninstallInformationLink, c.setupUninstallInformationTitle,
      c.setupUninstallInformationIcon, c.setupUninstallInformationPublisher,
      c.setupUninstallInformationDisplayVersion, c.setupUninstallInformationEstimatedSize);
  for (std::int32_t i = 0; i < uninstall; ++i) {
    c.setupUninstallInformationLink[i] = script.String("setup", Indexed("setupUninstallInformationLink", i));
    c.setupUninstallInformationTitle[i] = script.String("setup", Indexed("setupUninstallInformationTitle", i));
    c.setupUninstallInformationIcon[i] = script.String("setup", Indexed("setupUninstallInformationIcon", i));
    c.setupUninstallInformationPublisher[i] = script.String("setup", Indexed("setupUninstallInformationPublisher", i));
    c.setupUninstallInformationDisplayVersion[i] =
        script.String("setup", Indexed("setupUninstallInformationDisplayVersion", i));
    c.setupUninstallInformationEstimatedSize[i] =
        script.Int("setup", Indexed("setupUninstallInformationEstimatedSize", i), 0);
  }

  c.pluginAutoInstall = num("plugin", "pluginAutoInstall");
  c.pluginAutoInstallNum = num("plugin", "pluginAutoInstallNum");
  const std::int32_t plugins = AllocateFamily(script, "pluginAutoInstallNum", c.pluginAutoInstallNum, c.pluginAutoInstallLink, c.pluginAutoInstallGuid);
  for (std::int32_t i = 0; i < plugins; ++i) {
    c.pluginAutoInstallLink[i] = script.String("plugin", Indexed("pluginAutoInstallLink", i));
    c.pluginAutoInstallGuid[i] = script.String("plugin", Indexed("pluginAutoInstallGuid", i));
  }

  c.launch = num("launch", "launch");
  c.launchAuto = num("launch", "launchAuto");
  c.launchTarget = str("launch", "launchTarget");
  c.launchParameters = str("launch", "launchParameters");
  if (c.launchParameters->empty()) c.launchParameters.reset();

  c.setupCheckVersion = num("setup", "setupCheckVersion");
  c.setupCheckVersionMax = str("setup", "setupCheckVersionMax");
  if (commandLine.Has("/checkversion") && !c.setupCheckVersionMax.empty()) c.setupCheckVersion = 1;
  c.setupCleanProgramFilesWithElevation = num("setup", "setupCleanProgramFilesWithElevation");

  c.deleteFiles = num("delete", "deleteFiles");
  c.deleteFilesNum = num("delete", "deleteFilesNum");
  const std::int32_t deletions = AllocateFamily(script, "deleteFilesNum", c.deleteFilesNum, c.deleteFilenames);
  for (std::int32_t i = 0; i < deletions; ++i)
    c.deleteFilenames[i] = script.String("delete", Indexed("deleteFilenames", i));
  return problems;
}
