#pragma once
// Checks an installer script against what the installer's reader
// (FillInstallerConfig) reads: sections and keys it knows, values that parse
// as it parses them, indexed families that agree with their counts, and the
// payload files the script names.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pack {

enum class KeyType { kString, kInteger };

// How a key's value relates to the payload.
enum class NamesFile {
  kNo,
  kInstalledFile,   // a file below the destination folder
  kProgramPart,     // a command line whose program is such a file
  kPlugin,          // a file below the destination's plugins folder
  kDeletedFile,     // a file removed after installation: must not be one the package installs
};

// One key the installer reads. Indexed keys are a family member: the key
// name followed by a decimal index from 0 to the family's count less one.
struct ScriptKey {
  const char* section;
  const char* key;
  KeyType type;
  const char* countKey;  // the family's count key for an indexed key; nullptr otherwise
  NamesFile namesFile;
};

// Every key FillInstallerConfig reads, spelt as it spells them.
std::span<const ScriptKey> ScriptKeys();

struct ScriptFinding {
  std::size_t line;  // 1-based line of the script, 0 for the script as a whole
  std::string text;  // "line N: ..." ready to print
};

// Checks script text (any line ends). `payloadNames` are the entry names of
// the payload (backslash-separated); without them files are not checked.
std::vector<ScriptFinding> CheckScript(std::string_view script, const std::vector<std::string>* payloadNames);

}  // namespace pack
