#pragma once
// `quenlith-pack keys`: every section and key the installer reads, from the
// table its reader fills its record from (ScriptKeys), with the kind of
// value, the default, the family (count key and indexed entries) and what
// each does. Sections in the order the table first names them, keys in
// table order within each.

#include <ostream>

namespace pack {

// For a terminal: a block per section, a line per key and its description.
void WriteKeysText(std::ostream& out);

// One JSON document: {"keys": [{section, key, kind, default, indexed,
// countKey, members, description}]}.
void WriteKeysJson(std::ostream& out);

// A Markdown table, as the README carries it.
void WriteKeysMarkdown(std::ostream& out);

}  // namespace pack
