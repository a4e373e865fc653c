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

}  // namespace

std::vector<ScriptFinding> CheckScript(std::string_view script, const std::vector<std::string>* payloadNames) {
  std::vector<ScriptFinding> findings;
  const IniDocument document(script);
  auto report = [&findings](std::size_t line, const std::string& text) {
    findings.push_back({line, "line " + std::to_string(line) + ": " + text});
  };
  std::unordered_set<std::string> payload;
  if (payloadNames) {
    payload.reserve(payloadNames->size());
    for (const std::string& name : *payloadNames) payload.insert(FoldedName(name));
  }

  std::set<std::string> seen;                                   // folded section NUL key
  std::map<const ScriptKey*, std::set<long>> familyIndices;     // family member -> indices present
  std::map<std::string, std::pair<std::size_t, long>> countLines;  // folded count key -> line, value
  std::optional<std::pair<std::size_t, std::string>> uninstallSwitch;  // line, "[section] key=value"
  for (const ScriptKeyLine& line : ScriptKeyLines(script, &findings)) {
    const std::string where = "[" + Escaped(line.section) + "] " + Escaped(line.key);
    if (!seen.insert(AsciiLowered(line.section) + '\0' + AsciiLowered(line.key)).second) {
      report(line.line, where + " is set again; the installer reads only the first");
      continue;
    }
    if (!IsScriptSection(line.section)) {
      report(line.line, "unknown section [" + Escaped(line.section) + "]; the installer reads nothing from it");
      continue;
    }
    std::optional<std::int32_t> index;
    const ScriptKey* entry = FindScriptKey(line.section, line.key, index);
    if (!entry) {
      report(line.line, "unknown key " + where + "; the installer ignores it (a misspelt key takes its default)");
      continue;
    }
    const std::string value = *document.Find(line.section, line.key);
    if (KindOf(*entry) == ValueKind::kInteger && !value.empty()) {
      const std::size_t start = (value[0] == '+' || value[0] == '-') ? 1 : 0;
      const bool whole = value.size() > start && value.find_first_not_of("0123456789", start) == std::string::npos;
      if (!whole)
        report(line.line, where + "=" + Escaped(value) + " is not an integer; the installer reads it as " +
                              std::to_string(document.Int(line.section, line.key, 0)));
      else if (value.size() - start > 10 || std::stoll(value) != document.Int(line.section, line.key, 0))
        report(line.line, where + "=" + Escaped(value) + " is out of range; the installer reads it as " +
                              std::to_string(document.Int(line.section, line.key, 0)));
    }
    if (entry->countKey) familyIndices[entry].insert(*index);
    if (Fills(*entry, &InstallerConfig::setupUninstallInformation))
      uninstallSwitch = {line.line, where + "=" + Escaped(value)};
    for (const ScriptKey& other : ScriptKeys())
      if (other.countKey && AsciiLowered(other.countKey) == AsciiLowered(line.key))
        countLines[AsciiLowered(line.key)] = {line.line, document.Int(line.section, line.key, 0)};

    if (!payloadNames || value.empty() || entry->names == kNone) continue;
    switch (entry->names) {
      case kInstalledFile:
        if (!payload.count(NormalName(value)))
          report(line.line, where + " names \"" + Escaped(value) + "\", which the payload does not hold");
        break;
      case kProgramPart:
        if (!payload.count(NormalName(value)) && !payload.count(NormalName(ProgramPart(value))))
          report(line.line, where + " runs \"" + Escaped(ProgramPart(value)) + "\", which the payload does not hold");
        break;
      case kPlugin:
        if (!payload.count(NormalName("plugins\\" + value)))
          report(line.line, where + " names plug-in \"plugins\\" + Escaped(value) +
                                "\", which the payload does not hold");
        break;
      case kDeletedFile:
        if (payload.count(NormalName(value)))
          report(line.line, where + " deletes \"" + Escaped(value) +
                                "\" after installation, a file this package installs");
        break;
      case kNone:
        break;
    }
  }

  // Families: every index below the count present, none beyond it.
  std::set<std::string> countsChecked;
  for (const ScriptKey& entry : ScriptKeys()) {
    if (!entry.countKey) continue;
    const auto count = countLines.find(AsciiLowered(entry.countKey));
    const long declared = count == countLines.end() ? 0 : count->second.second;
    const std::size_t countLine = count == countLines.end() ? 0 : count->second.first;
    if (declared > kMaxFamilyEntries && countsChecked.insert(entry.countKey).second)
      report(countLine, std::string(entry.countKey) + "=" + std::to_string(declared) + " is more than " +
                            std::to_string(kMaxFamilyEntries) + "; the installer then reads no entries");
    const auto present = familyIndices.find(&entry);
    const long usable = declared > kMaxFamilyEntries ? 0 : declared;
    if (present != familyIndices.end()) {
      for (const long index : present->second)
        if (index >= usable)
          findings.push_back({0, std::string(entry.key) + std::to_string(index) + " is beyond " + entry.countKey +
                                     "=" + std::to_string(declared) + "; the installer ignores it"});
    }
    // The member that names each entry's file (its link or file name) must be there for each index.
    if (entry.names == kNone) continue;
    for (long index = 0; index < std::min(usable, 1000L); ++index)
      if (present == familyIndices.end() || !present->second.count(index))
        report(countLine, std::string(entry.countKey) + "=" + std::to_string(declared) + " but " + entry.key +
                              std::to_string(index) + " is missing");
  }
  // The installer writes no entry without a title: the key would be the list of every program.
  if (uninstallSwitch) {
    InstallerConfig config;
    FillInstallerConfig(document, CommandLine(""), config);
    if (config.setupUninstallInformation >= 1 && UninstallTitle(config).empty())
      report(uninstallSwitch->first, uninstallSwitch->second +
                                         " but no SetupUninstallInformationTitle0 names the entry; the installer "
                                         "writes no uninstall entry and finds no earlier installation");
  }
  std::stable_sort(findings.begin(), findings.end(),
                   [](const ScriptFinding& a, const ScriptFinding& b) { return a.line < b.line; });
  return findings;
}

}  // namespace pack
