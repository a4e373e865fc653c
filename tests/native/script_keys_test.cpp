// The table of script keys that the installer's reader fills its record from
// and the package builder checks scripts against: each key, set through the
// real reader, reaches the field named after it and no other.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <set>

#include "script/config.h"
#include "script/keys.h"

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Every InstallerConfig field, printed, by its name in lower case. Listed by
// hand, apart from the table: the reader names fields as it spells the keys.
using Show = std::function<std::string(const InstallerConfig&)>;
template <typename T>
std::string Print(const T& value) {
  if constexpr (std::is_same_v<T, std::string>) return value;
  else if constexpr (std::is_same_v<T, std::optional<std::string>>) return value.value_or("<none>");
  else if constexpr (std::is_integral_v<T>) return std::to_string(value);
  else {
    std::string text = std::to_string(value.size()) + ":";
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

// The names of the fields whose printed values differ.
std::set<std::string> Changed(const InstallerConfig& before, const InstallerConfig& after) {
  std::set<std::string> changed;
  for (const auto& [name, show] : Fields())
    if (show(before) != show(after)) changed.insert(name);
  return changed;
}

TEST(ScriptKeys, EachKeySetsTheFieldNamedAfterItAndNoOther) {
  std::set<std::string> reached;
  for (const ScriptKey& key : ScriptKeys()) {
    const bool integer = KindOf(key) == ValueKind::kInteger;
    const std::string value = integer ? "-4321" : std::string("v-") + key.key;
    // Names written in capitals too: the reader matches them without regard to case.
    for (const bool capitals : {false, true}) {
      auto name = [capitals](std::string text) {
        if (capitals)
          std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
        return text;
      };
      std::string base = "[" + name(key.section) + "]\n", script;
      // A family member is read only below its count, which both scripts set.
      if (key.countKey) {
        base += name(key.countKey) + "=1\n";
        script = base + name(key.key) + "0=" + value + "\n";
      } else {
        script = base + name(key.key) + "=" + value + "\n";
      }
      const InstallerConfig after = Filled(script);
      EXPECT_EQ(Changed(Filled(base), after), std::set<std::string>{Lower(key.key)}) << script;
      const auto field = Fields().find(Lower(key.key));
      ASSERT_NE(field, Fields().end()) << key.key << " matches no InstallerConfig field";
      if (!integer) EXPECT_NE(field->second(after).find(value), std::string::npos) << key.key;
    }
    reached.insert(Lower(key.key));
  }
  for (const auto& [name, show] : Fields()) EXPECT_TRUE(reached.count(name)) << name << " is filled by no key";
}

// What `quenlith-pack keys` and the README print of each key comes from
// the table: a key without a line on what it does, or a family without its
// count key, fails here.
TEST(ScriptKeys, EachKeySaysWhatItDoesAndEachFamilyHasItsCount) {
  for (const ScriptKey& key : ScriptKeys()) {
    ASSERT_NE(key.description, nullptr) << key.key;
    EXPECT_GT(std::string(key.description).size(), 5u) << key.key;
    EXPECT_TRUE(std::isupper(static_cast<unsigned char>(key.key[0]))) << key.key << ": spelt as scripts write it";
    EXPECT_TRUE(std::isupper(static_cast<unsigned char>(key.section[0]))) << key.section;
    if (!key.countKey) continue;
    std::optional<std::int32_t> index;
    const ScriptKey* count = FindScriptKey(key.section, key.countKey, index);
    ASSERT_NE(count, nullptr) << key.key << ": no count key " << key.countKey << " in [" << key.section << "]";
    EXPECT_EQ(std::string(count->key), key.countKey);
    EXPECT_EQ(count->countKey, nullptr);
    EXPECT_EQ(KindOf(*count), ValueKind::kInteger);
  }
}

TEST(ScriptKeys, FindsKeysAsTheReaderSpellsThemAndFamilyMembersByIndex) {
  const struct {
    const char* section;
    const char* key;
    const char* found;  // nullptr: not a key the reader reads
    std::optional<std::int32_t> index;
  } cases[] = {
      {"Install", "INSTALLERSILENT", "InstallerSilent", std::nullopt},
      {"setup", "setupDesktopIconLink0", "SetupDesktopIconLink", 0},
      {"SETUP", "setupstartmenuresource12", "SetupStartMenuResource", 12},
      {"setup", "setupDesktopIconLink01", nullptr, std::nullopt},
      {"setup", "setupDesktopIconLink-1", nullptr, std::nullopt},
      {"setup", "setupDesktopIconLink", nullptr, std::nullopt},
      {"product", "InstallerSilent", nullptr, std::nullopt},
      {"delete", "deleteFilenames7", "DeleteFilenames", 7},
  };
  for (const auto& c : cases) {
    std::optional<std::int32_t> index;
    const ScriptKey* key = FindScriptKey(c.section, c.key, index);
    EXPECT_EQ(key ? std::string(key->key) : std::string(), c.found ? std::string(c.found) : std::string()) << c.key;
    EXPECT_EQ(index, c.index) << c.key;
  }
}

}  // namespace
