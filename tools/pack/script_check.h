#pragma once
// Checks an installer script against the keys the installer's reader reads
// (ScriptKeys, the table FillInstallerConfig fills its record from):
// sections and keys it knows, values that parse as it parses them, indexed
// families that agree with their counts, and the payload files the script
// names.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pack {

struct ScriptFinding {
  std::size_t line;  // 1-based line of the script, 0 for the script as a whole
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

// Checks script text (any line ends). `payloadNames` are the entry names of
// the payload (backslash-separated); without them files are not checked.
std::vector<ScriptFinding> CheckScript(std::string_view script, const std::vector<std::string>* payloadNames);

}  // namespace pack
