// The script check: findings on crafted scripts, and its table of keys
// against what the installer's reader (FillInstallerConfig) really reads.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <set>

#include "script/config.h"
#include "script_check.h"
#include "test_support.h"

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string AllFindings(const std::vector<pack::ScriptFinding>& findings) {
  std::string text;
  for (const auto& finding : findings) text += finding.text + "\n";
  return text;
}

TEST(CheckScript, FindsWhatTheInstallerWouldReadOtherwise) {
  const std::vector<std::string> payload = {"Quenlith.exe", "plugins\\chat.dll", "tools\\Uninstall.exe"};
  const struct {
    const char* what;
    std::string script;
    const char* findingPart;  // nullptr: no findings
  } cases[] = {
      {"sound script",
       "[Launch]\nLaunchTarget=quenlith.exe\n[Setup]\nSetupDesktopIconNum=1\nSetupDesktopIconLink0=Quenlith.exe\n"
       "SetupUninstallInformationNum=1\nSetupUninstallInformationLink0=\"tools\\Uninstall.exe\" /x\n"
       "[Plugin]\nPluginAutoInstallNum=1\nPluginAutoInstallLink0=chat.dll\n[Delete]\nDeleteFilesNum=1\n"
       "DeleteFilenames0=old.dll\n",
       nullptr},
      {"misspelt key", "[Install]\nInstallerSilnet=1\n", "unknown key [Install] InstallerSilnet"},
      {"unknown section", "[Instal]\nInstallerSilent=1\n", "unknown section [Instal]"},
      {"key in the wrong section", "[Product]\nInstallerSilent=1\n", "unknown key [Product] InstallerSilent"},
      {"integer with a tail", "[Install]\nInstallerSilent=1yes\n", "is not an integer; the installer reads it as 1"},
      {"integer without digits", "[Date]\nDateDay=first\n", "reads it as 0"},
      {"integer out of range", "[Date]\nDateYear=99999999999\n", "out of range"},
      {"index with a leading zero", "[Setup]\nSetupDesktopIconNum=1\nSetupDesktopIconLink00=Quenlith.exe\n",
       "unknown key"},
      {"count larger than the entries", "[Setup]\nSetupStartMenuNum=2\nSetupStartMenuLink0=Quenlith.exe\n",
       "setupStartMenuLink1 is missing"},
      {"entry beyond the count", "[Setup]\nSetupStartMenuNum=1\nSetupStartMenuLink0=Quenlith.exe\nSetupStartMenuTitle1=x\n",
       "setupStartMenuTitle1 is beyond setupStartMenuNum=1"},
      {"count too large", "[Delete]\nDeleteFilesNum=70000\n", "more than 65536"},
      {"launch target missing", "[Launch]\nLaunchTarget=Missing.exe\n", "names \"Missing.exe\""},
      {"shortcut link missing", "[Setup]\nSetupDesktopIconNum=1\nSetupDesktopIconLink0=Gone.exe\n", "Gone.exe"},
      {"uninstall program missing", "[Setup]\nSetupUninstallInformationNum=1\nSetupUninstallInformationLink0=un.exe /x\n",
       "runs \"un.exe\""},
      {"plug-in missing", "[Plugin]\nPluginAutoInstallNum=1\nPluginAutoInstallLink0=other.dll\n",
       "plug-in \"plugins\\other.dll\""},
      {"deletes an installed file", "[Delete]\nDeleteFilesNum=1\nDeleteFilenames0=quenlith.EXE\n",
       "a file this package installs"},
      {"key set twice", "[Install]\nInstallerSilent=1\ninstallersilent=0\n", "reads only the first"},
      {"key before any section", "InstallerSilent=1\n", "before any section"},
  };
  for (const auto& c : cases) {
    const std::string findings = AllFindings(pack::CheckScript(c.script, &payload));
    if (c.findingPart)
      EXPECT_NE(findings.find(c.findingPart), std::string::npos) << c.what << ":\n" << findings;
    else
      EXPECT_EQ(findings, "") << c.what;
  }
}

TEST(CheckScript, ChecksNoFilesWithoutAPayload) {
  EXPECT_TRUE(pack::CheckScript("[Launch]\nLaunchTarget=Missing.exe\n", nullptr).empty());
}

// Every InstallerConfig field, printed, by name. The script reader names
// fields as it spells the keys, so a key matches its field ignoring case.
using Show = std::function<std::string(const InstallerConfig&)>;
template <typename T>
std::string Print(const T& value) {
  if constexpr (std::is_same_v<T, std::string>) return value;
  else if constexpr (std::is_same_v<T, std::optional<std::string>>) return value.value_or("<none>");
  else if constexpr (std::is_integral_v<T>) return std::to_string(value);
  else {
    std::string text;
    for (const auto& item : value) text += Print(item) + "|";
    return text;
  }
}
#define FIELD(name) {Lower(#name), [](const InstallerConfig& c) { return Print(c.name); }}
const std::map<std::string, Show>& Fields() {
  static const std::map<std::string, Show> fields = {
      FIELD(installerName), FIELD(installerSilent), FIELD(productName), FIELD(productShortName), FIELD(productVersion),
      FIELD(productCopyright), FIELD(productWebLink), FIELD(productDescription), FIELD(productInstructions),
      FIELD(productInstructionsDescription), FIELD(productInstructionsInstalling),
      FIELD(productInstructionsInstallingDescription), FIELD(productInstructionsEnd),
      FIELD(productInstructionsEndDescription), FIELD(productLocationNotice), FIELD(destinationAuto),
      FIELD(destinationProgramData), FIELD(destinationProgramFiles), FIELD(destinationQuenlithPlugins),
      FIELD(destinationQuenlith), FIELD(destinationQuenlithPelko), FIELD(destinationQuenlithSkins),
      FIELD(destinationDirectoryCreate), FIELD(destinationDirectoryTitle), FIELD(destinationDirectoryInstruction),
      FIELD(dateChange), FIELD(dateMonth), FIELD(dateDay), FIELD(dateYear), FIELD(setupCheckIfQuenlithLoaded),
      FIELD(setupCheckIfQuenlithLoadedText), FIELD(setupCheckIfQuenlithLoadedTitle),
      FIELD(setupCheckIfQuenlithExiting), FIELD(setupCheckVistaGreater), FIELD(setupCheckVistaGreaterText),
      FIELD(setupCheckVistaGreaterTitle), FIELD(setupFirstRun), FIELD(setupMediaPlayer), FIELD(setupDesktopIcon),
      FIELD(setupDesktopIconNum), FIELD(setupDesktopIconLink), FIELD(setupDesktopIconTitle),
      FIELD(setupDesktopIconDescription), FIELD(setupDesktopIconResource), FIELD(setupDesktopIconArguments),
      FIELD(setupStartup), FIELD(setupStartMenu), FIELD(setupStartMenuDirectory), FIELD(setupStartMenuNum),
      FIELD(setupStartMenuLink), FIELD(setupStartMenuTitle), FIELD(setupStartMenuDescription),
      FIELD(setupStartMenuResource), FIELD(setupStartMenuArguments), FIELD(setupUninstallInformation),
      FIELD(setupUninstallInformationNum), FIELD(setupUninstallInformationHidden),
      FIELD(setupUninstallInformationLink), FIELD(setupUninstallInformationTitle),
      FIELD(setupUninstallInformationIcon), FIELD(setupUninstallInformationPublisher),
      FIELD(setupUninstallInformationDisplayVersion), FIELD(setupUninstallInformationEstimatedSize),
      FIELD(pluginAutoInstall), FIELD(pluginAutoInstallNum), FIELD(pluginAutoInstallLink),
      FIELD(pluginAutoInstallGuid), FIELD(launch), FIELD(launchAuto), FIELD(launchTarget), FIELD(launchParameters),
      FIELD(setupCheckVersion), FIELD(setupCheckVersionMax), FIELD(setupCleanProgramFilesWithElevation),
      FIELD(deleteFiles), FIELD(deleteFilesNum), FIELD(deleteFilenames)};
  return fields;
}
#undef FIELD

InstallerConfig Filled(const std::string& script) {
  InstallerConfig config;
  FillInstallerConfig(IniDocument(script), CommandLine(""), config);
  return config;
}

TEST(ScriptKeys, EachKeySetsTheFieldTheInstallerReadsItInto) {
  const InstallerConfig defaults = Filled("");
  for (const pack::ScriptKey& key : pack::ScriptKeys()) {
    const std::string value = key.type == pack::KeyType::kInteger ? "-4321" : std::string("v-") + key.key;
    std::string script = std::string("[") + key.section + "]\n";
    // A family member is read only below its count.
    if (key.countKey) script += std::string(key.countKey) + "=1\n" + key.key + "0=" + value + "\n";
    else script += std::string(key.key) + "=" + value + "\n";
    const auto field = Fields().find(Lower(key.key));
    ASSERT_NE(field, Fields().end()) << key.key << " matches no InstallerConfig field";
    const std::string before = field->second(defaults), after = field->second(Filled(script));
    EXPECT_NE(after, before) << "[" << key.section << "] " << key.key << " did not change its field";
    // Strings arrive as written; integers may be stored shifted (the month less 1).
    if (key.type == pack::KeyType::kString)
      EXPECT_NE(after.find(value), std::string::npos) << key.key << " reads as " << after;
  }
}

// The keys the reader's source names, against the table: a key added to
// the reader and not to the table fails here.
TEST(ScriptKeys, TableHoldsEveryKeyTheReaderNames) {
  const std::string source =
      testing_support::ReadFile(std::filesystem::path(test_paths::kSourceDir) / "setup/script/config.cpp");
  std::set<std::string> table, sections;
  for (const pack::ScriptKey& key : pack::ScriptKeys()) {
    table.insert(key.key);
    sections.insert(key.section);
  }
  const std::regex literal("\"([A-Za-z]+)\"");
  std::set<std::string> literals;
  for (auto it = std::sregex_iterator(source.begin(), source.end(), literal); it != std::sregex_iterator(); ++it)
    literals.insert((*it)[1]);
  ASSERT_GT(literals.size(), 50u);
  for (const std::string& name : literals) {
    if (table.count(name) || sections.count(name)) continue;
    // A member suffix of a family read through a helper ("Link" after "setupDesktopIcon").
    const bool suffix = std::any_of(literals.begin(), literals.end(),
                                    [&](const std::string& stem) { return table.count(stem + name) > 0; });
    EXPECT_TRUE(suffix) << "the reader names \"" << name << "\", which the table lacks";
  }
  for (const pack::ScriptKey& key : pack::ScriptKeys()) {
    const std::string name = key.key;
    const bool named = literals.count(name) || std::any_of(literals.begin(), literals.end(), [&](const std::string& stem) {
      return name.size() > stem.size() && name.compare(0, stem.size(), stem) == 0 && literals.count(name.substr(stem.size()));
    });
    EXPECT_TRUE(named) << name << " is in the table but the reader never names it";
  }
}

}  // namespace
