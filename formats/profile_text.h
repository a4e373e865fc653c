#pragma once
// The text of a private-profile (INI) file as the system's profile writer
// leaves it: "[section]" and "key=value" lines, each ending in CR LF. For
// such plain text, setting a key through the system (replacing the value of
// the first key of that name in the first section of that name, both
// compared without letter case, or adding the key at the end of its section,
// or the section at the end of the file) changes nothing else, so the same
// change can be made here, many keys at a time, with the same bytes as the
// result. Text that is not plain in this sense (blank lines, comments,
// blanks around names or values, a byte-order mark, names that are not
// printable ASCII, repeated names, a last line without its CR LF) is
// refused: the system rewrites such text in its own way.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class ProfileText {
 public:
  // Reads `bytes`; nothing when they are not plain. Empty bytes are an empty file.
  static std::optional<ProfileText> Parse(std::string_view bytes);

  // True when `name` can be a section or key name of plain text.
  static bool PlainName(std::string_view name);
  // True when `value` can be a value of plain text.
  static bool PlainValue(std::string_view value);

  // Sets `key` in `section` (both plain names) to `value` (a plain value).
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The whole text.
  std::string Bytes() const;

 private:
  struct Key {
    std::string name;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Key> keys;
    std::unordered_map<std::string, std::size_t> index;  // folded name -> position in keys
  };
  Section& FindOrAddSection(std::string_view name);

  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> sectionIndex_;  // folded name -> position in sections_
};
