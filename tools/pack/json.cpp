#include "pack/json.h"

#include "formats/utf8.h"

namespace pack {

std::string JsonQuoted(std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() + 2);
  out += '"';
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t start = at;
    char32_t point = 0;
    if (!utf8::DecodeCodePoint(bytes, at, point)) {
      // One stray byte becomes one replacement character: the text stays
      // readable and the document valid.
      out += "\\ufffd";
      at = start + 1;
      continue;
    }
    switch (point) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (point < 0x20 || point == 0x7F) {
          out += "\\u00";
          out += kHex[point >> 4];
          out += kHex[point & 0xF];
        } else {
          out.append(bytes.substr(start, at - start));
        }
    }
  }
  out += '"';
  return out;
}

std::string HexBytes(std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
  }
  return out;
}

void WriteName(JsonWriter& json, std::string_view key, std::string_view name) {
  json.Field(key, name);
  if (!utf8::IsValid(name)) json.Field(std::string(key) + "Hex", HexBytes(name));
}

void JsonWriter::NewLine() {
  out_ << '\n';
  for (std::size_t i = 0; i < levels_.size(); ++i) out_ << "  ";
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (levels_.empty()) return;
  if (!levels_.back().empty) out_ << ',';
  levels_.back().empty = false;
  NewLine();
}

void JsonWriter::Key(std::string_view name) {
  BeforeValue();
  out_ << JsonQuoted(name) << ": ";
  afterKey_ = true;
}

void JsonWriter::BeginObject() {
  BeforeValue();
  out_ << '{';
  levels_.push_back({true, true});
}

void JsonWriter::BeginArray() {
  BeforeValue();
  out_ << '[';
  levels_.push_back({false, true});
}

void JsonWriter::Close(char bracket) {
  const bool empty = levels_.back().empty;
  levels_.pop_back();
  if (!empty) NewLine();
  out_ << bracket;
  if (levels_.empty()) out_ << '\n';
}

void JsonWriter::EndObject() { Close('}'); }
void JsonWriter::EndArray() { Close(']'); }

void JsonWriter::String(std::string_view bytes) {
  BeforeValue();
  out_ << JsonQuoted(bytes);
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ << (value ? "true" : "false");
}

void JsonWriter::Null() {
  BeforeValue();
  out_ << "null";
}

}  // namespace pack
