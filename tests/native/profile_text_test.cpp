#include "formats/profile_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Writes = std::vector<std::pair<std::string, std::string>>;

// The text after setting `writes` in section "Uninstall", one by one.
std::optional<std::string> After(const std::string& before, const Writes& writes) {
  std::optional<ProfileText> text = ProfileText::Parse(before);
  if (!text) return std::nullopt;
  for (const auto& [key, value] : writes) text->Set("Uninstall", key, value);
  return text->Bytes();
}

TEST(ProfileTextTest, SettingKeysGivesTheSystemsBytes) {
  // The expected texts are what Wine's WritePrivateProfileStringW left for
  // the same starting files and writes, one call per key.
  const struct {
    const char* what;
    std::string before;
    Writes writes;
    std::string after;
  } cases[] = {
      {"no file yet", "", {{"NumFiles", "2"}, {"File000", "C:\\a b\\x.txt"}},
       "[Uninstall]\r\nNumFiles=2\r\nFile000=C:\\a b\\x.txt\r\n"},
      {"another section first", "[Other]\r\nA=1\r\n", {{"NumFiles", "3"}},
       "[Other]\r\nA=1\r\n[Uninstall]\r\nNumFiles=3\r\n"},
      {"an older list: values replaced in place, new keys at the end of the section, other sections kept",
       "[Uninstall]\r\nNumFiles=9\r\nFile000=old\r\nDesktop=yes\r\n[Other]\r\nA=1\r\n",
       {{"numfiles", "3"}, {"File000", "new"}, {"File001", "added"}},
       "[Uninstall]\r\nNumFiles=3\r\nFile000=new\r\nDesktop=yes\r\nFile001=added\r\n[Other]\r\nA=1\r\n"},
      {"the section's name in other letter case", "[uninstall]\r\nnumfiles=1\r\n", {{"NumFiles", "2"}},
       "[uninstall]\r\nnumfiles=2\r\n"},
      {"values with separators and quotes", "", {{"a", "x;y \"q\""}, {"d", "x=y"}, {"e", ""}},
       "[Uninstall]\r\na=x;y \"q\"\r\nd=x=y\r\ne=\r\n"},
      {"a later write of the same key", "", {{"File000", "one"}, {"File001", "two"}, {"File000", "three"}},
       "[Uninstall]\r\nFile000=three\r\nFile001=two\r\n"},
  };
  for (const auto& c : cases) {
    const std::optional<std::string> after = After(c.before, c.writes);
    ASSERT_TRUE(after.has_value()) << c.what;
    EXPECT_EQ(*after, c.after) << c.what;
  }
}

TEST(ProfileTextTest, RefusesTextTheSystemWouldRewriteItsOwnWay) {
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"blank line", "[Uninstall]\r\n\r\nA=1\r\n"},
      {"comment", "[Uninstall]\r\n; note\r\nA=1\r\n"},
      {"blanks around the name", "[Uninstall]\r\nA =1\r\n"},
      {"blanks before the value", "[Uninstall]\r\nA= 1\r\n"},
      {"blank after the value", "[Uninstall]\r\nA=1 \r\n"},
      {"key before any section", "A=1\r\n[Uninstall]\r\n"},
      {"line without a separator", "[Uninstall]\r\nA\r\n"},
      {"last line without its line end", "[Uninstall]\r\nA=1"},
      {"bare line feed", "[Uninstall]\nA=1\r\n"},
      {"bare carriage return", "[Uninstall]\r\nA=1\rB=2\r\n"},
      {"byte-order mark", "\xEF\xBB\xBF[Uninstall]\r\nA=1\r\n"},
      {"UTF-16", std::string("\xFF\xFE[\0U\0]\0\r\0\n\0", 12)},
      {"repeated key, other case", "[Uninstall]\r\nA=1\r\na=2\r\n"},
      {"repeated section", "[Uninstall]\r\nA=1\r\n[UNINSTALL]\r\nB=2\r\n"},
      {"name outside printable ASCII", "[Uninstall]\r\nK\xC3\xA9y=1\r\n"},
      {"section header with blanks", "[ Uninstall ]\r\nA=1\r\n"},
      {"unclosed section header", "[Uninstall\r\nA=1\r\n"},
      {"NUL in a value", std::string("[Uninstall]\r\nA=x\0y\r\n", 20)},
  };
  for (const auto& c : cases) EXPECT_FALSE(ProfileText::Parse(c.text).has_value()) << c.what;
}

TEST(ProfileTextTest, PlainValuesAreThoseTheSystemKeepsAsWritten) {
  const struct {
    std::string value;
    bool plain;
  } cases[] = {
      {"C:\\ProgramData\\Quenlith\\bin\\a.txt", true},
      {"", true},
      {"C:\\dir\\caf\xE9.txt", true},  // inside: any byte but line ends
      {"C:\\dir\\a.txt ", false},
      {" C:\\dir", false},
      {"C:\\dir\\caf\xE9", false},  // at an end: a byte some code pages take for a blank
      {"C:\\a\r\nb", false},
      {"C:\\a\tb", true},
  };
  for (const auto& c : cases) EXPECT_EQ(ProfileText::PlainValue(c.value), c.plain) << c.value;
}

}  // namespace
