// The builder's JSON writer: every document it writes parses back to what
// was written, whatever bytes the strings hold.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "pack/json.h"

namespace {

TEST(JsonWriter, NestedContainersParseBack) {
  std::ostringstream text;
  pack::JsonWriter json(text);
  json.BeginObject();
  json.Field("name", "Quenlith");
  json.Field("count", std::uint64_t{18446744073709551615u});
  json.Field("offset", -5);
  json.Field("signed", true);
  json.Key("none");
  json.Null();
  json.Key("empty");
  json.BeginArray();
  json.EndArray();
  json.Key("emptyObject");
  json.BeginObject();
  json.EndObject();
  json.Key("files");
  json.BeginArray();
  json.BeginObject();
  json.Field("size", 3u);
  json.EndObject();
  json.Number(7);
  json.String("x");
  json.EndArray();
  json.EndObject();

  const nlohmann::json parsed = nlohmann::json::parse(text.str());
  EXPECT_EQ(parsed["name"], "Quenlith");
  EXPECT_EQ(parsed["count"].get<std::uint64_t>(), 18446744073709551615u);
  EXPECT_EQ(parsed["offset"], -5);
  EXPECT_EQ(parsed["signed"], true);
  EXPECT_TRUE(parsed["none"].is_null());
  EXPECT_TRUE(parsed["empty"].is_array() && parsed["empty"].empty());
  EXPECT_TRUE(parsed["emptyObject"].is_object() && parsed["emptyObject"].empty());
  ASSERT_EQ(parsed["files"].size(), 3u);
  EXPECT_EQ(parsed["files"][0]["size"], 3);
  EXPECT_EQ(parsed["files"][1], 7);
  EXPECT_EQ(parsed["files"][2], "x");
  EXPECT_EQ(text.str().back(), '\n');
}

TEST(JsonWriter, StringsAreEscapedToValidJson) {
  struct Case {
    std::string bytes;
    std::string expected;  // the parsed string, UTF-8
  };
  static const char kControls[] = "nul \0 tab \t newline \n cr \r bell \a del \x7f";
  const std::string controls(kControls, sizeof kControls - 1);
  const Case cases[] = {
      {"plain", "plain"},
      {"quote \" and backslash \\", "quote \" and backslash \\"},
      {controls, controls},
      {"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      // Bytes that are no UTF-8: a lone continuation, a Latin-1 letter, an
      // overlong slash, a surrogate, a sequence cut short at the end.
      {"a\x80z", "a\xef\xbf\xbdz"},
      {"caf\xe9", "caf\xef\xbf\xbd"},
      {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},
      {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
      {"end\xe2\x82", "end\xef\xbf\xbd\xef\xbf\xbd"},
  };
  for (const Case& c : cases) {
    std::ostringstream text;
    pack::JsonWriter json(text);
    json.BeginObject();
    json.Field(c.bytes, c.bytes);  // names are escaped the same way
    json.EndObject();
    SCOPED_TRACE(text.str());
    nlohmann::json parsed;
    ASSERT_NO_THROW(parsed = nlohmann::json::parse(text.str()));
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed.begin().key(), c.expected);
    EXPECT_EQ(parsed.begin().value(), c.expected);
  }
}

TEST(JsonWriter, HexBytesKeepsEveryByte) {
  EXPECT_EQ(pack::HexBytes(std::string("a\0\xff\x80", 4)), "6100ff80");
  EXPECT_EQ(pack::HexBytes(""), "");
}

}  // namespace
