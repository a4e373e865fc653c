#pragma once
// A small streaming JSON writer for the builder's machine-readable reports:
// objects, arrays, strings, integers, booleans and null, written as they are
// called, indented by two blanks, one document per writer.
//
// Strings are taken as bytes. Valid UTF-8 is written as it is, with `"`,
// `\` and the control characters U+0000 to U+001F (and U+007F) escaped; each
// byte that is not part of a valid UTF-8 sequence is written as U+FFFD, so
// the document stays valid JSON whatever the package holds. Where the exact
// bytes matter (a file name in a foreign package), the report adds them in
// hexadecimal next to the text (see `HexBytes`).

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace pack {

class JsonWriter {
  template <typename T>
  static constexpr bool kIsNumber = std::is_integral_v<T> && !std::is_same_v<T, bool>;

 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;

  // Containers. Inside an object every value is preceded by Key.
  void BeginObject();
  void EndObject();  // ends the line after the outermost container
  void BeginArray();
  void EndArray();
  void Key(std::string_view name);

  // Values.
  void String(std::string_view bytes);
  template <typename Integer, std::enable_if_t<kIsNumber<Integer>, int> = 0>
  void Number(Integer value) {
    BeforeValue();
    out_ << +value;
  }
  void Bool(bool value);
  void Null();

  // A key and its value in one call.
  void Field(std::string_view name, std::string_view value) { Key(name), String(value); }
  void Field(std::string_view name, const char* value) { Key(name), String(value); }
  template <typename Integer, std::enable_if_t<kIsNumber<Integer>, int> = 0>
  void Field(std::string_view name, Integer value) {
    Key(name), Number(value);
  }
  void Field(std::string_view name, bool value) { Key(name), Bool(value); }
  // `value`, or null when it is empty (a fault or algorithm there is none of).
  void TextOrNull(std::string_view name, std::string_view value) {
    Key(name);
    value.empty() ? Null() : String(value);
  }

 private:
  void BeforeValue();
  void Close(char bracket);
  void NewLine();

  struct Level {
    bool object = false;
    bool empty = true;
  };
  std::ostream& out_;
  std::vector<Level> levels_;
  bool afterKey_ = false;
};

// `bytes` as a JSON string body: quoted, escaped as described above.
std::string JsonQuoted(std::string_view bytes);

// Writes `key` with `name` as its text and, when `name` is not valid UTF-8,
// `key` + "Hex" with its exact bytes in hexadecimal.
void WriteName(JsonWriter& json, std::string_view key, std::string_view name);

// Lowercase hexadecimal of `bytes`, two digits a byte.
std::string HexBytes(std::string_view bytes);

}  // namespace pack
