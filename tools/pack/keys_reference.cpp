#include "pack/keys_reference.h"

#include <string>
#include <string_view>
#include <vector>

#include "formats/ascii_case.h"
#include "pack/json.h"
#include "script/keys.h"

namespace pack {
namespace {

// The table's keys grouped by section: sections in the order the table
// first names them, keys in table order within each.
std::vector<std::vector<const ScriptKey*>> BySection() {
  std::vector<std::vector<const ScriptKey*>> sections;
  for (const ScriptKey& key : ScriptKeys()) {
    auto section = sections.begin();
    while (section != sections.end() && !EqualIgnoringCase(section->front()->section, key.section)) ++section;
    if (section == sections.end())
      sections.push_back({&key});
    else
      section->push_back(&key);
  }
  return sections;
}

bool IsInteger(const ScriptKey& key) { return KindOf(key) == ValueKind::kInteger; }

std::string Default(const ScriptKey& key) { return IsInteger(key) ? std::to_string(key.fallback) : "\"\""; }

// The members of the family `countKey` counts, in table order.
std::vector<const ScriptKey*> Members(const ScriptKey& count) {
  std::vector<const ScriptKey*> members;
  for (const ScriptKey& key : ScriptKeys())
    if (key.countKey && std::string_view(key.countKey) == count.key) members.push_back(&key);
  return members;
}

}  // namespace

void WriteKeysText(std::ostream& out) {
  out << "Keys of the installer script, by section (letter case is ignored; a key missing takes its default).\n";
  for (const std::vector<const ScriptKey*>& section : BySection()) {
    out << "\n[" << section.front()->section << "]\n";
    for (const ScriptKey* key : section) {
      out << "  " << key->key << (key->countKey ? "<N>" : "") << "  " << (IsInteger(*key) ? "integer" : "text")
          << ", default " << Default(*key) << "\n      " << key->description;
      if (key->countKey) out << " (N from 0 to " << key->countKey << " less 1)";
      if (const std::vector<const ScriptKey*> members = Members(*key); !members.empty()) {
        const char* separator = " (counts ";
        for (const ScriptKey* member : members) out << separator << member->key << "<N>", separator = ", ";
        out << ")";
      }
      out << "\n";
    }
  }
}

void WriteKeysJson(std::ostream& out) {
  JsonWriter json(out);
  json.BeginObject();
  json.Key("keys");
  json.BeginArray();
  for (const std::vector<const ScriptKey*>& section : BySection()) {
    for (const ScriptKey* key : section) {
      json.BeginObject();
      json.Field("section", key->section);
      json.Field("key", key->key);
      json.Field("kind", IsInteger(*key) ? "integer" : "text");
      json.Key("default");
      IsInteger(*key) ? json.Number(key->fallback) : json.String("");
      json.Field("indexed", key->countKey != nullptr);
      json.Key("countKey");
      key->countKey ? json.String(key->countKey) : json.Null();
      json.Key("members");
      json.BeginArray();
      for (const ScriptKey* member : Members(*key)) json.String(member->key);
      json.EndArray();
      json.Field("description", key->description);
      json.EndObject();
    }
  }
  json.EndArray();
  json.EndObject();
}

void WriteKeysMarkdown(std::ostream& out) {
  out << "| Section | Key | Value | Default | What it does |\n|---|---|---|---|---|\n";
  for (const std::vector<const ScriptKey*>& section : BySection()) {
    for (const ScriptKey* key : section) {
      out << "| `[" << key->section << "]` | `" << key->key << "`" << (key->countKey ? "*N*" : "") << " | "
          << (IsInteger(*key) ? "integer" : "text");
      if (key->countKey) out << ", *N* from 0 to `" << key->countKey << "` less 1";
      if (const std::vector<const ScriptKey*> members = Members(*key); !members.empty()) {
        out << ", counts";
        const char* separator = " ";
        for (const ScriptKey* member : members) out << separator << "`" << member->key << "`*N*", separator = ", ";
      }
      out << " | " << (IsInteger(*key) ? std::to_string(key->fallback) : std::string("(empty)")) << " | "
          << key->description << " |\n";
    }
  }
}

}  // namespace pack
