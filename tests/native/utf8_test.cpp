// The one strict UTF-8 decoder that the script reader and the package
// builder share: every form it must refuse, and the edges of what it accepts.

#include "formats/utf8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace {

// `text` as \xNN bytes, for failure messages.
std::string Hex(const std::string& text) {
  std::string out;
  for (const char c : text) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
    out += hex;
  }
  return out;
}

TEST(Utf8, DecodesEachFormAtItsEdgesAndRefusesEveryInvalidOne) {
  const struct {
    const char* what;
    std::string bytes;
    std::optional<char32_t> point;  // none: invalid
  } cases[] = {
      // One to four bytes, at the ends of each length's range.
      {"U+0000", std::string(1, '\0'), U'\u0000'},
      {"U+0041", "A", U'A'},
      {"U+007F", "\x7F", U'\x7F'},
      {"U+0080, shortest two-byte", "\xC2\x80", U'\u0080'},
      {"U+07FF, longest two-byte", "\xDF\xBF", U'\u07FF'},
      {"U+0800, shortest three-byte", "\xE0\xA0\x80", U'\u0800'},
      {"U+D7FF, just below the surrogates", "\xED\x9F\xBF", U'\uD7FF'},
      {"U+E000, just above the surrogates", "\xEE\x80\x80", U'\uE000'},
      {"U+FFFD", "\xEF\xBF\xBD", U'\uFFFD'},
      {"U+FFFF", "\xEF\xBF\xBF", U'\uFFFF'},
      {"U+10000, shortest four-byte", "\xF0\x90\x80\x80", U'\U00010000'},
      {"U+1F600", "\xF0\x9F\x98\x80", U'\U0001F600'},
      {"U+100000, lead F4", "\xF4\x80\x80\x80", U'\U00100000'},
      {"U+10FFFF, the last code point", "\xF4\x8F\xBF\xBF", U'\U0010FFFF'},
      // Overlong forms.
      {"overlong '/' in two bytes", "\xC0\xAF", std::nullopt},
      {"overlong U+007F in two bytes", "\xC1\xBF", std::nullopt},
      {"overlong '/' in three bytes", "\xE0\x80\xAF", std::nullopt},
      {"overlong U+07FF in three bytes", "\xE0\x9F\xBF", std::nullopt},
      {"overlong '/' in four bytes", "\xF0\x80\x80\xAF", std::nullopt},
      {"overlong U+FFFF in four bytes", "\xF0\x8F\xBF\xBF", std::nullopt},
      // Surrogates, alone or paired as UTF-16 would pair them.
      {"U+D800", "\xED\xA0\x80", std::nullopt},
      {"U+DBFF", "\xED\xAF\xBF", std::nullopt},
      {"U+DC00", "\xED\xB0\x80", std::nullopt},
      {"U+DFFF", "\xED\xBF\xBF", std::nullopt},
      {"a surrogate pair", "\xED\xA0\xBD\xED\xB8\x80", std::nullopt},
      // Past U+10FFFF.
      {"U+110000 with lead F4", "\xF4\x90\x80\x80", std::nullopt},
      {"U+13FFFF with lead F4", "\xF4\xBF\xBF\xBF", std::nullopt},
      // Lead bytes F5 to FF, whatever follows them.
      {"F5 and three continuation bytes", "\xF5\x80\x80\x80", std::nullopt},
      {"F7, U+1FFFFF's old form", "\xF7\xBF\xBF\xBF", std::nullopt},
      {"F8 and two continuation bytes", "\xF8\x80\x80", std::nullopt},
      {"F8, an old five-byte form", "\xF8\x88\x80\x80\x80", std::nullopt},
      {"FC, an old six-byte form", "\xFC\x84\x80\x80\x80\x80", std::nullopt},
      {"FE and two continuation bytes", "\xFE\x80\x80", std::nullopt},
      {"FF alone", "\xFF", std::nullopt},
      // C0 and C1, which could only begin overlong forms.
      {"C0 alone", "\xC0", std::nullopt},
      {"C1 and a continuation byte", "\xC1\x81", std::nullopt},
      {"C0 80, a NUL in disguise", "\xC0\x80", std::nullopt},
      // Cut short by the end of the text.
      {"two-byte lead alone", "\xC3", std::nullopt},
      {"three-byte sequence missing its last byte", "\xE2\x82", std::nullopt},
      {"four-byte sequence missing its last byte", "\xF0\x9F\x98", std::nullopt},
      {"four-byte lead alone", "\xF4", std::nullopt},
      // A continuation byte where none belongs, or none where one must be.
      {"lone 80", "\x80", std::nullopt},
      {"lone BF", "\xBF", std::nullopt},
      {"two continuation bytes", "\x80\x80", std::nullopt},
      {"ASCII where a continuation byte must be", "\xC3(", std::nullopt},
      {"ASCII as the third byte", "\xE2\x82(", std::nullopt},
      {"a new lead as the fourth byte", "\xF0\x9F\x98\xC3\xA9", std::nullopt},
      {"Latin-1 \xE9 before ASCII", "\xE9t\xE9", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.what) + ": " + Hex(c.bytes));
    std::size_t at = 0;
    char32_t point = U'?';
    const bool decoded = utf8::DecodeCodePoint(c.bytes, at, point);
    EXPECT_EQ(decoded, c.point.has_value());
    if (c.point) {
      EXPECT_EQ(static_cast<std::uint32_t>(point), static_cast<std::uint32_t>(*c.point));
      EXPECT_EQ(at, c.bytes.size()) << "moves past the whole sequence";
      std::string encoded;
      utf8::AppendCodePoint(encoded, *c.point);
      EXPECT_EQ(encoded, c.bytes) << "encodes back to the same bytes";
    } else {
      EXPECT_EQ(at, 0u) << "a refused sequence leaves the position";
      EXPECT_EQ(point, U'?') << "a refused sequence leaves the point";
    }
    // Within a text, one refused sequence makes the whole text invalid.
    EXPECT_EQ(utf8::IsValid(c.bytes), c.point.has_value());
    EXPECT_EQ(utf8::IsValid("a" + c.bytes + "z"), c.point.has_value());
  }
}

TEST(Utf8, EveryCodePointRoundTripsAndNothingElseIsAccepted) {
  // Each code point but the surrogates encodes to bytes that decode to it.
  for (char32_t point = 0; point <= 0x10FFFF; ++point) {
    if (point >= 0xD800 && point <= 0xDFFF) continue;
    std::string bytes;
    utf8::AppendCodePoint(bytes, point);
    std::size_t at = 0;
    char32_t decoded = 0;
    ASSERT_TRUE(utf8::DecodeCodePoint(bytes, at, decoded)) << static_cast<std::uint32_t>(point);
    ASSERT_EQ(decoded, point);
    ASSERT_EQ(at, bytes.size());
  }
  // Of all two- and three-byte texts, exactly the encodings counted above
  // decode as one sequence: 1,920 two-byte and 61,440 three-byte forms.
  std::size_t two = 0, three = 0;
  char bytes[3];
  for (unsigned a = 0x80; a < 0x100; ++a) {
    bytes[0] = static_cast<char>(a);
    for (unsigned b = 0; b < 0x100; ++b) {
      bytes[1] = static_cast<char>(b);
      std::size_t at = 0;
      char32_t point;
      if (utf8::DecodeCodePoint(std::string_view(bytes, 2), at, point) && at == 2) ++two;
      for (unsigned c = 0; c < 0x100; ++c) {
        bytes[2] = static_cast<char>(c);
        at = 0;
        if (utf8::DecodeCodePoint(std::string_view(bytes, 3), at, point) && at == 3) ++three;
      }
    }
  }
  EXPECT_EQ(two, 0x800u - 0x80u);
  EXPECT_EQ(three, 0x10000u - 0x800u - 0x800u);
}

TEST(Utf8, AtTheEndOfTheTextThereIsNothingToDecode) {
  const std::string text = "ab";
  std::size_t at = text.size();
  char32_t point = U'?';
  EXPECT_FALSE(utf8::DecodeCodePoint(text, at, point));
  EXPECT_EQ(at, text.size());
  EXPECT_TRUE(utf8::IsValid(""));
}

}  // namespace
