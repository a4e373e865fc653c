// File names as Windows holds them: UTF-16 lengths, case folding, escaping.

#include <gtest/gtest.h>

#include "pack/names.h"

namespace {

TEST(Names, Utf16LengthCountsUnitsAndRefusesInvalidUtf8) {
  const struct {
    std::string text;
    std::optional<std::size_t> units;
  } cases[] = {
      {"plain.txt", 9},
      {"\xC3\xA9t\xC3\xA9", 3},                      // été: 2 bytes each, 1 unit each
      {"\xE4\xB8\xAD\xE6\x96\x87", 2},               // two CJK characters, 3 bytes each
      {"\xF0\x9F\x98\x80", 2},                       // outside the BMP: a surrogate pair
      {"\xC3", std::nullopt},                        // truncated sequence
      {"\xC0\xAF", std::nullopt},                    // overlong '/'
      {"\xED\xA0\x80", std::nullopt},                // a surrogate encoded on its own
      {"\xF4\x90\x80\x80", std::nullopt},            // past U+10FFFF
      {"caf\xE9", std::nullopt},                     // Latin-1, not UTF-8
      {"\xF8\x80\x80", std::nullopt},                // lead byte F8: no UTF-8 sequence begins so
      {"\xF4\x8F\xBF\xBF", 2},                       // U+10FFFF, the last code point
  };
  for (const auto& c : cases) EXPECT_EQ(pack::Utf16Length(c.text), c.units) << pack::Escaped(c.text);
}

TEST(Names, FoldsLetterCaseAsWindowsComparesNames) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"Read.me", "rEAD.ME", true},
      {"\xC3\xA9.txt", "\xC3\x89.txt", true},                  // é É
      {"\xC3\xBF", "\xC5\xB8", true},                          // ÿ Ÿ
      {"\xC4\x81", "\xC4\x80", true},                          // ā Ā (Latin Extended-A)
      {"\xC5\xBE", "\xC5\xBD", true},                          // ž Ž (odd-upper run)
      {"\xC7\x86", "\xC7\x84", true},                          // ǆ Ǆ (Latin Extended-B)
      {"\xCF\x89", "\xCE\xA9", true},                          // ω Ω
      {"\xCF\x82", "\xCE\xA3", true},                          // final ς Σ
      {"\xD0\xB6", "\xD0\x96", true},                          // ж Ж
      {"\xD1\x91", "\xD0\x81", true},                          // ё Ё
      {"\xEF\xBD\x81", "\xEF\xBC\xA1", true},                  // full-width a A
      {"\xC3\x9F", "SS", false},                               // ß has no simple upper case
      {"a", "b", false},
      {"\xC3\xA9", "e", false},
      {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80", false},         // outside the BMP: left alone
  };
  for (const auto& c : cases)
    EXPECT_EQ(pack::FoldedName(c.a) == pack::FoldedName(c.b), c.same) << pack::Escaped(c.a) << " / "
                                                                      << pack::Escaped(c.b);
}

// Text shows as written; only control characters and bytes outside UTF-8
// are escaped.
TEST(Names, EscapesOnlyWhatCannotBeShownAsWritten) {
  const struct {
    const char* text;
    const char* shown;
  } cases[] = {
      {"ok.txt", "ok.txt"},
      {"C:\\Program Files\\Quenlith\\x.exe", "C:\\Program Files\\Quenlith\\x.exe"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"caf\xE9\n", "caf\\xE9\\x0A"},
      {"tab\there\x7F", "tab\\x09here\\x7F"},
      {"c1 \xC2\x9B", "c1 \\xC2\\x9B"},
      {"cut \xE2\x82", "cut \\xE2\\x82"},
  };
  for (const auto& c : cases) EXPECT_EQ(pack::Escaped(c.text), c.shown) << c.shown;
}

TEST(Names, DestinationNamesCompareAsWindowsFindsTheFile) {
  const struct {
    const char* scriptName;
    const char* entryName;
    bool same;
  } cases[] = {
      {"plugins\\msn.dll", "Plugins\\MSN.dll", true},
      {"plugins/msn.dll", "plugins\\msn.dll", true},
      {".\\.\\old.dll", "old.dll", true},
      {"\xC3\xA9t\xC3\xA9.txt", "\xC3\x89T\xC3\x89.TXT", true},
      {"old.dll", "old.dl", false},
      {"..\\old.dll", "old.dll", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(pack::DestinationNameKey(c.scriptName) == pack::FoldedName(c.entryName), c.same) << c.scriptName;
}

}  // namespace
