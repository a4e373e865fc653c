#pragma once
// The installer script's keys: one table that the installer's reader
// (FillInstallerConfig) fills InstallerConfig from and that the package
// builder checks scripts against, so the two cannot disagree on a key.
// Needs no Windows API.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "script/config.h"

// The InstallerConfig field a key fills. A vector is a family member's
// field, one element per index; an optional string holds none for an empty
// value.
using ConfigField = std::variant<std::int32_t InstallerConfig::*, std::string InstallerConfig::*,
                                 std::optional<std::string> InstallerConfig::*,
                                 std::vector<std::int32_t> InstallerConfig::*,
                                 std::vector<std::string> InstallerConfig::*>;

enum class ValueKind { kString, kInteger };

// What a key's value names in the installed files, for checks of a package.
enum class NamedFile {
  kNone,
  kInstalledFile,  // a file below the destination folder
  kProgramPart,    // a command line whose program is such a file
  kPlugin,         // a file below the destination's plugins folder
  kDeletedFile,    // a file removed after installation: one the package does not install
};

// One key the installer reads, its section and name spelt as scripts write
// them (the reader ignores letter case). A family member is written as its
// name followed by a decimal index (no sign, no leading zeros) from 0 to the
// family's count less one; the members of a family stand together in the
// table, after their count key, in the order the reader reads each index.
struct ScriptKey {
  const char* section;
  const char* key;
  ConfigField field;
  const char* description;     // one line on what the installer does with the value (`quenlith-pack keys`)
  std::int32_t fallback = 0;   // integer keys: the value when the key is absent
  std::int32_t storedLess = 0; // integer keys: subtracted before storing (the month less 1, the year less 1900)
  const char* countKey = nullptr;  // a family member's count key; nullptr for a single key
  NamedFile names = NamedFile::kNone;
};

// Every key, in the order the reader reads them.
std::span<const ScriptKey> ScriptKeys();

ValueKind KindOf(const ScriptKey& key);

// The entry for `key` as written in `section` (letter case ignored); for a
// family member `index` receives its index. nullptr for a key the reader
// never reads.
const ScriptKey* FindScriptKey(std::string_view section, std::string_view key, std::optional<std::int32_t>& index);

// Whether the reader reads anything from `section` (letter case ignored).
bool IsScriptSection(std::string_view section);
