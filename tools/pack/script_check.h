#pragma once
// Checks an installer script against the keys the installer's reader reads
// (ScriptKeys, the table FillInstallerConfig fills its record from):
// sections and keys it knows, values that parse as it parses them, indexed
// families that agree with their counts, and the payload files the script
// names.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pack {

struct ScriptFinding {
  std::size_t line;  // 1-based line of the script
  std::string text;  // "line N: ..." ready to print
};

// A key line as the installer's reader sees it.
struct ScriptKeyLine {
  std::size_t line;     // 1-based
  std::string section;  // as written, blanks around it dropped
  std::string key;      // as written, blanks around it dropped
};

// The key lines of script text (any line ends) in their order, as the
// installer's reader walks them: in a section, with a name before '='.
// Comments, blank lines and lines the reader ignores are left out; a finding
// for each ignored line is appended to `findings` when given.
std::vector<ScriptKeyLine> ScriptKeyLines(std::string_view script, std::vector<ScriptFinding>* findings = nullptr);

// The program of the payload whose version the installer's version check
// reads (kVersionedProgram at the payload's top, letter case folded).
struct VersionedProgram {
  std::string name;                        // its entry name, as the payload spells it
  std::optional<std::string> fileVersion;  // its "FileVersion" text; none when it has none
};

// What the check knows of the payload.
struct PayloadFacts {
  std::vector<std::string> names;  // entry names, backslash-separated
  std::optional<VersionedProgram> program;
};

// Checks script text (any line ends), against `payload` when given (without
// it, files and versions are not checked). Every finding names its line.
std::vector<ScriptFinding> CheckScript(std::string_view script, const PayloadFacts* payload);

// The key of the table nearest to `key` as written in `section`, letter
// case ignored, as "Key" when it stands in `section` and "[Section] Key"
// otherwise (a family member with its index); empty when none is near
// enough to be a misspelling. For "did you mean".
std::string NearestScriptKey(std::string_view section, std::string_view key);

// The nearest section the reader reads, as "[Section]"; empty when none is near.
std::string NearestScriptSection(std::string_view section);

}  // namespace pack
