#include "pack/script_check.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <unordered_set>
#include <variant>

#include "formats/ascii_case.h"
#include "pack/names.h"
#include "run/version.h"
#include "script/command_line.h"
#include "script/config.h"
#include "script/ini.h"
#include "script/keys.h"

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

// Edit distance of two names, letter case ignored, a swap of neighbours
// counting as one edit (the optimal string alignment distance).
std::size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = SameLetterIgnoringCase(a[i - 1], b[j - 1]) ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && SameLetterIgnoringCase(a[i - 1], b[j - 2]) && SameLetterIgnoringCase(a[i - 2], b[j - 1]))
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

// How far a misspelling may lie from the name meant: one edit for short
// names, up to three for long ones.
bool NearEnough(std::size_t distance, std::string_view name) {
  return distance <= std::min<std::size_t>(3, 1 + name.size() / 6);
}

// The program of a command line: quoted, or up to the first blank.
std::string ProgramPart(std::string_view command) {
  if (!command.empty() && command.front() == '"') {
    const std::size_t close = command.find('"', 1);
    return std::string(command.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
  }
  return std::string(command.substr(0, command.find_first_of(" \t")));
}

template <typename Field>
bool Fills(const ScriptKey& key, Field InstallerConfig::*field) {
  const auto* member = std::get_if<Field InstallerConfig::*>(&key.field);
  return member != nullptr && *member == field;
}

// Where the table's key `entry` stands in the script, by section and key
// folded; with an index for a family member.
std::string LineKey(const ScriptKey& entry, std::optional<std::int32_t> index) {
  return AsciiLowered(entry.section) + '\0' + AsciiLowered(entry.key) + (index ? std::to_string(*index) : "");
}

// The checks of one script, line by line, then of what the lines add up
// to: families against their counts, the uninstall entry's title, the
// versions against the payload's program.
class ScriptChecker {
 public:
  ScriptChecker(std::string_view script, const PayloadFacts* payload) : document_(script), payloadFacts_(payload) {
    if (!payload) return;
    payload_.reserve(payload->names.size());
    for (const std::string& name : payload->names) payload_.insert(FoldedName(name));
  }

  void CheckLine(const ScriptKeyLine& line) {
    const std::string where = "[" + Escaped(line.section) + "] " + Escaped(line.key);
    if (!seen_.insert(AsciiLowered(line.section) + '\0' + AsciiLowered(line.key)).second) {
      Report(line.line, where + " is set again; the installer reads only the first");
      return;
    }
    if (!IsScriptSection(line.section)) {
      Report(line.line, "unknown section [" + Escaped(line.section) + "]; the installer reads nothing from it" +
                            DidYouMean(NearestScriptSection(line.section)));
      return;
    }
    std::optional<std::int32_t> index;
    const ScriptKey* entry = FindScriptKey(line.section, line.key, index);
    if (!entry) {
      Report(line.line, "unknown key " + where + "; the installer ignores it (a misspelt key takes its default)" +
                            DidYouMean(NearestScriptKey(line.section, line.key)));
      return;
    }
    keyLines_[LineKey(*entry, index)] = line.line;
    const std::string value = *document_.Find(line.section, line.key);
    if (KindOf(*entry) == ValueKind::kInteger && !value.empty()) CheckInteger(line, where, value);
    if (entry->countKey) familyIndices_[entry][*index] = line.line;
    if (Fills(*entry, &InstallerConfig::setupUninstallInformation))
      uninstallSwitch_ = {line.line, where + "=" + Escaped(value)};
    for (const ScriptKey& other : ScriptKeys())
      if (other.countKey && AsciiLowered(other.countKey) == AsciiLowered(line.key))
        countLines_[AsciiLowered(line.key)] = {line.line, document_.Int(line.section, line.key, 0)};
    if (payloadFacts_ && !value.empty()) CheckNamedFile(*entry, line.line, where, value);
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
        for (const auto& [index, line] : present->second)
          if (index >= usable)
            Report(line, std::string(entry.key) + std::to_string(index) + " is beyond " + entry.countKey + "=" +
                             std::to_string(declared) + "; the installer ignores it");
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
    if (Config().setupUninstallInformation >= 1 && UninstallTitle(Config()).empty())
      Report(uninstallSwitch_->first, uninstallSwitch_->second +
                                          " but no SetupUninstallInformationTitle0 names the entry; the installer "
                                          "writes no uninstall entry and finds no earlier installation");
  }

  // The versions the script states, as the installer reads them, against
  // the version resource of the payload's program: /checkversion compares
  // the installed copy's with SetupCheckVersionMax, and the uninstall entry
  // shows its DisplayVersion.
  void CheckVersions() {
    if (!payloadFacts_ || !payloadFacts_->program) return;
    const VersionedProgram& program = *payloadFacts_->program;
    const std::string shown = "the payload's " + Escaped(program.name);
    const std::string wanted = Config().setupCheckVersionMax;
    const ScriptKey* max = TableKey(&InstallerConfig::setupCheckVersionMax);
    const std::size_t maxLine = LineOf(*max, std::nullopt);
    const std::string where = std::string("[") + max->section + "] " + max->key + "=" + Escaped(wanted);
    if (!program.fileVersion) {
      if (!wanted.empty())
        Report(maxLine, where + " but " + shown +
                            " has no FileVersion in its version resource: /checkversion never finds an installed copy "
                            "up to date");
      return;
    }
    const std::string version = NormaliseVersionText(*program.fileVersion);
    const std::string versionText = "the FileVersion " + Escaped(*program.fileVersion) + " of " + shown;
    if (!wanted.empty() && CompareVersions(wanted, version))
      Report(maxLine, where + " is lower than " + versionText + ": /checkversion keeps copies from " + Escaped(wanted) +
                          " up to that version, older than this package, instead of updating them");
    else if (!wanted.empty() && CompareVersions(version, wanted))
      Report(maxLine, where + " is higher than " + versionText +
                          ": /checkversion installs this package again over its own installed copy, every time");
    const ScriptKey* display = TableKey(&InstallerConfig::setupUninstallInformationDisplayVersion);
    const std::vector<std::string>& displayed = Config().setupUninstallInformationDisplayVersion;
    if (displayed.empty() || displayed[0].empty() || SameVersion(displayed[0], version)) return;
    Report(LineOf(*display, 0), std::string("[") + display->section + "] " + display->key +
                                    "0=" + Escaped(displayed[0]) + " differs from " + versionText +
                                    ": the uninstall entry shows another version than the one installed");
  }

  std::vector<ScriptFinding> findings;

 private:
  void Report(std::size_t line, const std::string& text) {
    findings.push_back({line, "line " + std::to_string(line) + ": " + text});
  }

  static std::string DidYouMean(const std::string& nearest) {
    return nearest.empty() ? std::string() : "; did you mean " + nearest + "?";
  }

  static bool SameVersion(std::string_view a, std::string_view b) {
    return !CompareVersions(a, b) && !CompareVersions(b, a);
  }

  // What the installer's reader makes of the whole script.
  const InstallerConfig& Config() {
    if (!config_) {
      config_.emplace();
      FillInstallerConfig(document_, CommandLine(""), *config_);
    }
    return *config_;
  }

  template <typename Field>
  static const ScriptKey* TableKey(Field InstallerConfig::*field) {
    for (const ScriptKey& key : ScriptKeys())
      if (Fills(key, field)) return &key;
    return nullptr;
  }

  // The line the reader takes `entry` from (0 when absent, which only
  // happens for a value the reader does not take from a line).
  std::size_t LineOf(const ScriptKey& entry, std::optional<std::int32_t> index) const {
    const auto found = keyLines_.find(LineKey(entry, index));
    return found == keyLines_.end() ? 0 : found->second;
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
        if (!payload_.count(DestinationNameKey(value)))
          Report(line, where + " names \"" + Escaped(value) + "\", which the payload does not hold");
        break;
      case kProgramPart:
        if (!payload_.count(DestinationNameKey(value)) && !payload_.count(DestinationNameKey(ProgramPart(value))))
          Report(line, where + " runs \"" + Escaped(ProgramPart(value)) + "\", which the payload does not hold");
        break;
      case kPlugin:
        if (!payload_.count(DestinationNameKey("plugins\\" + value)))
          Report(line, where + " names plug-in \"plugins\\" + Escaped(value) + "\", which the payload does not hold");
        break;
      case kDeletedFile:
        if (payload_.count(DestinationNameKey(value)))
          Report(line, where + " deletes \"" + Escaped(value) + "\" after installation, a file this package installs");
        break;
      case kNone:
        break;
    }
  }

  const IniDocument document_;
  const PayloadFacts* payloadFacts_;
  std::optional<InstallerConfig> config_;
  std::unordered_set<std::string> payload_;                         // folded entry names
  std::set<std::string> seen_;                                      // folded section NUL key
  std::map<std::string, std::size_t> keyLines_;                     // LineKey -> line
  std::map<const ScriptKey*, std::map<long, std::size_t>> familyIndices_;  // family member -> index -> line
  std::map<std::string, std::pair<std::size_t, long>> countLines_;  // folded count key -> line, value
  std::optional<std::pair<std::size_t, std::string>> uninstallSwitch_;  // line, "[section] key=value"
};

// A family member's index as the reader forms it: no leading zeros.
std::string CanonicalIndex(std::string_view digits) {
  const std::size_t first = digits.find_first_not_of('0');
  return first == std::string_view::npos ? std::string(digits.empty() ? "" : "0") : std::string(digits.substr(first));
}

}  // namespace

std::string NearestScriptKey(std::string_view section, std::string_view key) {
  // A family member is compared with its index as written, or index 0 when it has none.
  const std::size_t digitsAt = key.find_last_not_of("0123456789") + 1;
  const std::string index = CanonicalIndex(key.substr(digitsAt));
  std::string best;
  std::size_t bestDistance = std::string::npos;
  bool bestHere = false;
  for (const ScriptKey& entry : ScriptKeys()) {
    const std::string name = entry.key + (entry.countKey ? (index.empty() ? std::string("0") : index) : "");
    const std::size_t distance = Distance(key, name);
    if (!NearEnough(distance, name)) continue;
    // The section as written wins over the others, then the nearer name.
    const bool here = EqualIgnoringCase(entry.section, section);
    if (best.empty() || (here && !bestHere) || (here == bestHere && distance < bestDistance)) {
      best = here ? name : "[" + std::string(entry.section) + "] " + name;
      bestDistance = distance;
      bestHere = here;
    }
  }
  return best;
}

std::string NearestScriptSection(std::string_view section) {
  std::string best;
  std::size_t bestDistance = std::string::npos;
  for (const ScriptKey& entry : ScriptKeys()) {
    const std::size_t distance = Distance(section, entry.section);
    if (NearEnough(distance, entry.section) && distance < bestDistance) {
      best = "[" + std::string(entry.section) + "]";
      bestDistance = distance;
    }
  }
  return best;
}

std::vector<ScriptFinding> CheckScript(std::string_view script, const PayloadFacts* payload) {
  ScriptChecker checker(script, payload);
  for (const ScriptKeyLine& line : ScriptKeyLines(script, &checker.findings)) checker.CheckLine(line);
  checker.CheckFamilies();
  checker.CheckUninstallTitle();
  checker.CheckVersions();
  std::stable_sort(checker.findings.begin(), checker.findings.end(),
                   [](const ScriptFinding& a, const ScriptFinding& b) { return a.line < b.line; });
  return std::move(checker.findings);
}

}  // namespace pack
