#include "pack/script_check.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <unordered_set>
#include <variant>

#include "formats/ascii_case.h"
#include "script/command_line.h"
#include "script/config.h"
#include "script/ini.h"
#include "script/keys.h"
#include "pack/names.h"

namespace pack {
namespace {

using enum NamedFile;

}  // namespace

// Walks the lines with the reader's rules (IniDocument): a line starting
// with '[' opens a section, keys need '=' and a section, ';' comments.
std::vector<ScriptKeyLine> ScriptKeyLines(std::string_view text, std::vector<ScriptFinding>* findings) {
  std::vector<ScriptKeyLine> keys;
  std::string section;
  bool inSection = false;
  std::size_t number = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = TrimBlanks(text.substr(start, end - start));
    start = end + ((end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);
    ++number;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      section =
          std::string(TrimBlanks(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
      inSection = true;
      continue;
    }
    const std::size_t equals = line.find('=');
    const std::string_view key =
        equals == std::string_view::npos ? std::string_view() : TrimBlanks(line.substr(0, equals));
    if (key.empty()) {
      // The end marker and its comment are the only such lines a script needs.
      if (line.front() != '{' && findings)
        findings->push_back({number, "line " + std::to_string(number) + ": \"" + Escaped(line) +
                                        "\" is neither a section nor a key=value line; the installer ignores it"});
      continue;
    }
    if (!inSection) {
      if (findings)
        findings->push_back({number, "line " + std::to_string(number) + ": key \"" + Escaped(key) +
                                      "\" stands before any section; the installer ignores it"});
      continue;
    }
    keys.push_back({number, section, std::string(key)});
  }
  return keys;
}

namespace {

std::string NormalName(std::string_view value) {
  std::string name(value);
  std::replace(name.begin(), name.end(), '/', '\\');
  while (name.size() > 2 && name.compare(0, 2, ".\\") == 0) name.erase(0, 2);
  return FoldedName(name);
}

// The program of a command line: quoted, or up to the first blank.
std::string ProgramPart(std::string_view command) {
  if (!command.empty() && command.front() == '"') {
    const std::size_t close = command.find('"', 1);
    return std::string(command.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
  }
  return std::string(command.substr(0, command.find_first_of(" \t")));
}

bool Fills(const ScriptKey& key, std::int32_t InstallerConfig::*field) {
  const auto* member = std::get_if<std::int32_t InstallerConfig::*>(&key.field);
  return member != nullptr && *member == field;
}

// The checks of one script, line by line, then of what the lines add up
// to: families against their counts, the uninstall entry's title.
class ScriptChecker {
 public:
  ScriptChecker(std::string_view script, const std::vector<std::string>* payloadNames)
      : document_(script), checkFiles_(payloadNames != nullptr) {
    if (!payloadNames) return;
    payload_.reserve(payloadNames->size());
    for (const std::string& name : *payloadNames) payload_.insert(FoldedName(name));
  }

  void CheckLine(const ScriptKeyLine& line) {
    const std::string where = "[" + Escaped(line.section) + "] " + Escaped(line.key);
    if (!seen_.insert(AsciiLowered(line.section) + '\0' + AsciiLowered(line.key)).second) {
      Report(line.line, where + " is set again; the installer reads only the first");
      return;
    }
    if (!IsScriptSection(line.section)) {
      Report(line.line, "unknown section [" + Escaped(line.section) + "]; the installer reads nothing from it");
      return;
    }
    std::optional<std::int32_t> index;
    const ScriptKey* entry = FindScriptKey(line.section, line.key, index);
    if (!entry) {
      Report(line.line, "unknown key " + where + "; the installer ignores it (a misspelt key takes its default)");
      return;
    }
    const std::string value = *document_.Find(line.section, line.key);
    if (KindOf(*entry) == ValueKind::kInteger && !value.empty()) CheckInteger(line, where, value);
    if (entry->countKey) familyIndices_[entry].insert(*index);
    if (Fills(*entry, &InstallerConfig::setupUninstallInformation))
      uninstallSwitch_ = {line.line, where + "=" + Escaped(value)};
    for (const ScriptKey& other : ScriptKeys())
      if (other.countKey && AsciiLowered(other.countKey) == AsciiLowered(line.key))
        countLines_[AsciiLowered(line.key)] = {line.line, document_.Int(line.section, line.key, 0)};
    if (checkFiles_ && !value.empty()) CheckNamedFile(*entry, line.line, where, value);
  }

  // Families: every index below the count present, none beyond it.
  void CheckFamilies() {
    std::set<std::string> countsChecked;
    for (const ScriptKey& entry : ScriptKeys()) {
      if (!entry.countKey) continue;
      const auto count = countLines_.find(AsciiLowered(entry.countKey));
      const long declared = count == countLines_.end() ? 0 : count->second.second;
      const std::size_t countLine = count == countLines_.end() ? 0 : count->second.first;
      if (declared > kMaxFamilyEntries && countsChecked.insert(entry.countKey).second)
        Report(countLine, std::string(entry.countKey) + "=" + std::to_string(declared) + " is more than " +
                              std::to_string(kMaxFamilyEntries) + "; the installer then reads no entries");
      const auto present = familyIndices_.find(&entry);
      const long usable = declared > kMaxFamilyEntries ? 0 : declared;
      if (present != familyIndices_.end()) {
        for (const long index : present->second)
          if (index >= usable)
            findings.push_back({0, std::string(entry.key) + std::to_string(index) + " is beyond " + entry.countKey +
                                       "=" + std::to_string(declared) + "; the installer ignores it"});
      }
      // The member that names each entry's file (its link or file name) must be there for each index.
      if (entry.names == kNone) continue;
      for (long index = 0; index < std::min(usable, 1000L); ++index)
        if (present == familyIndices_.end() || !present->second.count(index))
          Report(countLine, std::string(entry.countKey) + "=" + std::to_string(declared) + " but " + entry.key +
                                std::to_string(index) + " is missing");
    }
  }

  // The installer writes no entry without a title: the key would be the list of every program.
  void CheckUninstallTitle() {
    if (!uninstallSwitch_) return;
    InstallerConfig config;
    FillInstallerConfig(document_, CommandLine(""), config);
    if (config.setupUninstallInformation >= 1 && UninstallTitle(config).empty())
      Report(uninstallSwitch_->first, uninstallSwitch_->second +
                                          " but no SetupUninstallInformationTitle0 names the entry; the installer "
                                          "writes no uninstall entry and finds no earlier installation");
  }

  std::vector<ScriptFinding> findings;

 private:
  void Report(std::size_t line, const std::string& text) {
    findings.push_back({line, "line " + std::to_string(line) + ": " + text});
  }

  void CheckInteger(const ScriptKeyLine& line, const std::string& where, const std::string& value) {
    const std::size_t start = (value[0] == '+' || value[0] == '-') ? 1 : 0;
    const bool whole = value.size() > start && value.find_first_not_of("0123456789", start) == std::string::npos;
    if (!whole)
      Report(line.line, where + "=" + Escaped(value) + " is not an integer; the installer reads it as " +
                            std::to_string(document_.Int(line.section, line.key, 0)));
    else if (value.size() - start > 10 || std::stoll(value) != document_.Int(line.section, line.key, 0))
      Report(line.line, where + "=" + Escaped(value) + " is out of range; the installer reads it as " +
                            std::to_string(document_.Int(line.section, line.key, 0)));
  }

  // A value that names a payload file, against the payload.
  void CheckNamedFile(const ScriptKey& entry, std::size_t line, const std::string& where, const std::string& value) {
    switch (entry.names) {
      case kInstalledFile:
        if (!payload_.count(NormalName(value)))
          Report(line, where + " names \"" + Escaped(value) + "\", which the payload does not hold");
        break;
      case kProgramPart:
        if (!payload_.count(NormalName(value)) && !payload_.count(NormalName(ProgramPart(value))))
          Report(line, where + " runs \"" + Escaped(ProgramPart(value)) + "\", which the payload does not hold");
        break;
      case kPlugin:
        if (!payload_.count(NormalName("plugins\\" + value)))
          Report(line, where + " names plug-in \"plugins\\" + Escaped(value) + "\", which the payload does not hold");
        break;
      case kDeletedFile:
        if (payload_.count(NormalName(value)))
          Report(line, where + " deletes \"" + Escaped(value) + "\" after installation, a file this package installs");
        break;
      case kNone:
        break;
    }
  }

  const IniDocument document_;
  const bool checkFiles_;
  std::unordered_set<std::string> payload_;                         // folded entry names
  std::set<std::string> seen_;                                      // folded section NUL key
  std::map<const ScriptKey*, std::set<long>> familyIndices_;        // family member -> indices present
  std::map<std::string, std::pair<std::size_t, long>> countLines_;  // folded count key -> line, value
  std::optional<std::pair<std::size_t, std::string>> uninstallSwitch_;  // line, "[section] key=value"
};

}  // namespace

std::vector<ScriptFinding> CheckScript(std::string_view script, const std::vector<std::string>* payloadNames) {
  ScriptChecker checker(script, payloadNames);
  for (const ScriptKeyLine& line : ScriptKeyLines(script, &checker.findings)) checker.CheckLine(line);
  checker.CheckFamilies();
  checker.CheckUninstallTitle();
  std::stable_sort(checker.findings.begin(), checker.findings.end(),
                   [](const ScriptFinding& a, const ScriptFinding& b) { return a.line < b.line; });
  return std::move(checker.findings);
}

}  // namespace pack
