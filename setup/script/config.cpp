#include "script/config.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <variant>

#include "formats/utf8.h"
#include "script/keys.h"

namespace {

// Reads the script's values and notes what the installer cannot use as written.
class Reader {
 public:
  Reader(const IniDocument& script, std::vector<std::string>& problems) : script_(script), problems_(problems) {}

  std::string String(const char* section, const std::string& key) const {
    std::string value = script_.String(section, key);
    if (!utf8::IsValid(value)) problems_.push_back("the value of " + key + " is not valid UTF-8");
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

// Stores a value read for `key` into its field of `config`; `index` is the
// entry of a family member.
void Store(const Reader& script, const ScriptKey& key, std::int32_t index, InstallerConfig& config) {
  const std::string name = key.countKey ? key.key + std::to_string(index) : std::string(key.key);
  // Integers wrap as the 32-bit arithmetic of the stored conventions does, never overflowing.
  auto integer = [&] {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(script.Int(key.section, name, key.fallback)) -
                                     static_cast<std::uint32_t>(key.storedLess));
  };
  const auto at = static_cast<std::size_t>(index);
  std::visit(
      [&](auto field) {
        using Field = std::remove_reference_t<decltype(config.*field)>;
        if constexpr (std::is_same_v<Field, std::int32_t>) config.*field = integer();
        else if constexpr (std::is_same_v<Field, std::string>) config.*field = script.String(key.section, name);
        else if constexpr (std::is_same_v<Field, std::vector<std::int32_t>>) (config.*field)[at] = integer();
        else if constexpr (std::is_same_v<Field, std::vector<std::string>>)
          (config.*field)[at] = script.String(key.section, name);
        else {
          // An empty value is none, so that no argument string is passed.
          std::string value = script.String(key.section, name);
          config.*field = value.empty() ? std::nullopt : std::optional<std::string>(std::move(value));
        }
      },
      key.field);
}

bool SameFamily(const ScriptKey& a, const ScriptKey& b) {
  return a.countKey && b.countKey && std::string_view(a.countKey) == b.countKey;
}

// Resizes a family member's field to `entries` elements, each cleared.
void Allocate(const ScriptKey& member, std::size_t entries, InstallerConfig& config) {
  std::visit(
      [&](auto field) {
        using Field = std::remove_reference_t<decltype(config.*field)>;
        if constexpr (std::is_same_v<Field, std::vector<std::int32_t>> ||
                      std::is_same_v<Field, std::vector<std::string>>)
          (config.*field).assign(entries, typename Field::value_type{});
      },
      member.field);
}

std::int32_t& CountField(const char* countKey, InstallerConfig& config) {
  for (const ScriptKey& key : ScriptKeys())
    if (!key.countKey && std::string_view(key.key) == countKey)
      return config.*std::get<std::int32_t InstallerConfig::*>(key.field);
  throw std::logic_error(std::string("no count key ") + countKey);
}

// Reads the family whose members start `members`: sizes every member's
// field to the count (no entries for a count of 0 or less, or one too large
// to hold), then reads each index's members in table order.
void ReadFamily(const Reader& script, std::span<const ScriptKey> members, InstallerConfig& config) {
  const char* countKey = members.front().countKey;
  std::size_t size = 0;
  while (size < members.size() && SameFamily(members[size], members.front())) ++size;
  members = members.first(size);
  std::int32_t& count = CountField(countKey, config);
  std::int32_t entries = count > 0 && count <= kMaxFamilyEntries ? count : 0;
  try {
    for (const ScriptKey& member : members) Allocate(member, static_cast<std::size_t>(entries), config);
  } catch (const std::bad_alloc&) {
    script.Note(std::string(countKey) + " = " + std::to_string(count) +
                " is too many entries to hold; the family has none");
    for (const ScriptKey& member : members) Allocate(member, 0, config);
    entries = 0;
    count = 0;
  }
  if (count > kMaxFamilyEntries) {
    script.Note(std::string(countKey) + " = " + std::to_string(count) + " is more than " +
                std::to_string(kMaxFamilyEntries) + " entries; the family has none");
    count = 0;
  }
  for (std::int32_t i = 0; i < entries; ++i)
    for (const ScriptKey& member : members) Store(script, member, i, config);
}

}  // namespace

WizardChoices ScriptChoices(const InstallerConfig& config) {
  return {config.setupStartMenu, config.setupDesktopIcon, config.setupUninstallInformation, config.setupStartup};
}

std::string UninstallTitle(const InstallerConfig& config) {
  return config.setupUninstallInformationTitle.empty() ? std::string() : config.setupUninstallInformationTitle[0];
}

std::vector<std::string> OlderFilesToDelete(const InstallerConfig& config) {
  if (config.deleteFiles == 0 || config.deleteFilesNum <= 0) return {};
  const std::size_t count = std::min(static_cast<std::size_t>(config.deleteFilesNum), config.deleteFilenames.size());
  return std::vector<std::string>(config.deleteFilenames.begin(),
                                  config.deleteFilenames.begin() + static_cast<std::ptrdiff_t>(count));
}

std::int32_t InstalledSize(const InstallerConfig& config) {
  return config.setupUninstallInformationEstimatedSize.empty() ? 0 : config.setupUninstallInformationEstimatedSize[0];
}

std::vector<std::string> FillInstallerConfig(const IniDocument& document, const CommandLine& commandLine,
                                             InstallerConfig& c) {
  std::vector<std::string> problems;
  const Reader script(document, problems);
  const std::span<const ScriptKey> keys = ScriptKeys();
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (!keys[k].countKey)
      Store(script, keys[k], 0, c);
    else if (k == 0 || !SameFamily(keys[k - 1], keys[k]))
      ReadFamily(script, keys.subspan(k), c);
  }

  // The command line's overrides.
  if (commandLine.Has("/nosilent"))
    c.installerSilent = 0;
  else if (commandLine.Has("/silent"))
    c.installerSilent = 1;
  if (commandLine.Has("/prompt")) c.destinationAuto = 0;
  if (commandLine.Has("/wait")) {
    c.setupCheckIfQuenlithLoaded = 0;
    c.setupCheckIfQuenlithExiting = 1;
  }
  if (commandLine.Has("/nodesktop")) c.setupDesktopIcon = 0;
  if (commandLine.Has("/nostartup")) c.setupStartup = 0;
  if (commandLine.Has("/nostartmenu")) c.setupStartMenu = 0;
  if (commandLine.Has("/checkversion") && !c.setupCheckVersionMax.empty()) c.setupCheckVersion = 1;
  return problems;
}
