#pragma once
// A reader for INI text that answers as the system's private-profile
// functions do: section and key names matched without regard to letter case,
// the first occurrence of a key winning, blanks around names and values
// dropped, a value in matching quotes unquoted, integers read as their
// leading decimal digits. Lines end in CR LF, LF or CR. Needs no Windows API.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

// `text` without the blanks and tabs around it, as the reader drops them
// around section names, key names and values.
std::string_view TrimBlanks(std::string_view text);

class IniDocument {
 public:
  explicit IniDocument(std::string_view text);

  // The value of `key` in `section`; none when absent.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  // The value, or the empty string when absent.
  std::string String(std::string_view section, std::string_view key) const;
  // The value's optional sign and leading decimal digits (0 when there are
  // none, clamped to 32 bits); `fallback` when the key is absent or empty.
  std::int32_t Int(std::string_view section, std::string_view key, std::int32_t fallback) const;

 private:
  static std::string Fold(std::string_view name);
  // Folded "section" NUL "key" to the value.
  std::unordered_map<std::string, std::string> values_;
};
