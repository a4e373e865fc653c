#include "formats/utf8.h"

namespace utf8 {

bool DecodeCodePoint(std::string_view text, std::size_t& at, char32_t& point) {
  if (at >= text.size()) return false;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    point = lead;
    ++at;
    return true;
  }
  // The well-formed sequences by lead byte. Narrowing the second byte's range
  // is what refuses overlong forms (E0, F0), surrogates (ED) and points past
  // U+10FFFF (F4); C0 and C1 could only start overlong forms, and F5 to FF
  // only points past U+10FFFF.
  std::size_t length;
  char32_t value;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return false;
  }
  if (text.size() - at < length || byte(1) < low || byte(1) > high) return false;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return false;
    value = value << 6 | (byte(i) & 0x3F);
  }
  point = value;
  at += length;
  return true;
}

bool IsValid(std::string_view text) {
  char32_t point;
  for (std::size_t at = 0; at < text.size();)
    if (!DecodeCodePoint(text, at, point)) return false;
  return true;
}

void AppendCodePoint(std::string& out, char32_t point) {
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (point >> 18));
    out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

}  // namespace utf8
