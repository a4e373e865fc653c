#pragma once
// Letter case of ASCII text, as the system compares script keys, section
// names and switches: only A-Z and a-z are folded; every other byte stays.

#include <algorithm>
#include <string>
#include <string_view>

inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// `text` with A-Z lowered.
inline std::string AsciiLowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = AsciiLower(c);
  return lowered;
}

inline bool SameLetterIgnoringCase(char a, char b) { return AsciiLower(a) == AsciiLower(b); }

inline bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), SameLetterIgnoringCase);
}
