#include "pack/names.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "formats/utf8.h"

namespace pack {
namespace {

// Runs of the upcase mapping. Written from the Unicode character charts'
// simple upper-case mappings for the scripts product files are named in
// (Latin with its extensions, Greek, Cyrillic, Armenian, Georgian, full-width
// forms, Roman numerals, circled letters); a run either shifts by a fixed
// delta or alternates upper/lower pairs.
struct Run {
  char16_t first, last;
  enum Kind : std::uint8_t { kDelta, kPairsEvenUpper, kPairsOddUpper } kind;
  std::int32_t delta;  // for kDelta
};

constexpr Run kRuns[] = {
    {0x0061, 0x007A, Run::kDelta, -32},
    {0x00B5, 0x00B5, Run::kDelta, 0x039C - 0x00B5},
    {0x00E0, 0x00F6, Run::kDelta, -32},
    {0x00F8, 0x00FE, Run::kDelta, -32},
    {0x00FF, 0x00FF, Run::kDelta, 0x0178 - 0x00FF},
    {0x0100, 0x012F, Run::kPairsEvenUpper, 0},
    {0x0131, 0x0131, Run::kDelta, 0x0049 - 0x0131},
    {0x0132, 0x0137, Run::kPairsEvenUpper, 0},
    {0x0139, 0x0148, Run::kPairsOddUpper, 0},
    {0x014A, 0x0177, Run::kPairsEvenUpper, 0},
    {0x0179, 0x017E, Run::kPairsOddUpper, 0},
    {0x017F, 0x017F, Run::kDelta, 0x0053 - 0x017F},
    {0x0180, 0x0180, Run::kDelta, 0x0243 - 0x0180},
    {0x0182, 0x0185, Run::kPairsEvenUpper, 0},
    {0x0188, 0x0188, Run::kDelta, -1},
    {0x018C, 0x018C, Run::kDelta, -1},
    {0x0192, 0x0192, Run::kDelta, -1},
    {0x0195, 0x0195, Run::kDelta, 0x01F6 - 0x0195},
    {0x0199, 0x0199, Run::kDelta, -1},
    {0x019A, 0x019A, Run::kDelta, 0x023D - 0x019A},
    {0x019E, 0x019E, Run::kDelta, 0x0220 - 0x019E},
    {0x01A0, 0x01A5, Run::kPairsEvenUpper, 0},
    {0x01A8, 0x01A8, Run::kDelta, -1},
    {0x01AD, 0x01AD, Run::kDelta, -1},
    {0x01B0, 0x01B0, Run::kDelta, -1},
    {0x01B3, 0x01B6, Run::kPairsOddUpper, 0},
    {0x01B9, 0x01B9, Run::kDelta, -1},
    {0x01BD, 0x01BD, Run::kDelta, -1},
    {0x01BF, 0x01BF, Run::kDelta, 0x01F7 - 0x01BF},
    {0x01C6, 0x01C6, Run::kDelta, -2},
    {0x01C9, 0x01C9, Run::kDelta, -2},
    {0x01CC, 0x01CC, Run::kDelta, -2},
    {0x01CD, 0x01DC, Run::kPairsOddUpper, 0},
    {0x01DD, 0x01DD, Run::kDelta, 0x018E - 0x01DD},
    {0x01DE, 0x01EF, Run::kPairsEvenUpper, 0},
    {0x01F3, 0x01F3, Run::kDelta, -2},
    {0x01F4, 0x01F5, Run::kPairsEvenUpper, 0},
    {0x01F8, 0x021F, Run::kPairsEvenUpper, 0},
    {0x0222, 0x0233, Run::kPairsEvenUpper, 0},
    {0x023C, 0x023C, Run::kDelta, -1},
    {0x0242, 0x0242, Run::kDelta, -1},
    {0x0246, 0x024F, Run::kPairsEvenUpper, 0},
    {0x0253, 0x0253, Run::kDelta, 0x0181 - 0x0253},
    {0x0254, 0x0254, Run::kDelta, 0x0186 - 0x0254},
    {0x0256, 0x0257, Run::kDelta, 0x0189 - 0x0256},
    {0x0259, 0x0259, Run::kDelta, 0x018F - 0x0259},
    {0x025B, 0x025B, Run::kDelta, 0x0190 - 0x025B},
    {0x0260, 0x0260, Run::kDelta, 0x0193 - 0x0260},
    {0x0263, 0x0263, Run::kDelta, 0x0194 - 0x0263},
    {0x0268, 0x0268, Run::kDelta, 0x0197 - 0x0268},
    {0x0269, 0x0269, Run::kDelta, 0x0196 - 0x0269},
    {0x026F, 0x026F, Run::kDelta, 0x019C - 0x026F},
    {0x0272, 0x0272, Run::kDelta, 0x019D - 0x0272},
    {0x0275, 0x0275, Run::kDelta, 0x019F - 0x0275},
    {0x0280, 0x0280, Run::kDelta, 0x01A6 - 0x0280},
    {0x0283, 0x0283, Run::kDelta, 0x01A9 - 0x0283},
    {0x0288, 0x0288, Run::kDelta, 0x01AE - 0x0288},
    {0x0289, 0x0289, Run::kDelta, 0x0244 - 0x0289},
    {0x028A, 0x028B, Run::kDelta, 0x01B1 - 0x028A},
    {0x028C, 0x028C, Run::kDelta, 0x0245 - 0x028C},
    {0x0292, 0x0292, Run::kDelta, 0x01B7 - 0x0292},
    {0x0371, 0x0373, Run::kPairsEvenUpper, 0},
    {0x0377, 0x0377, Run::kDelta, -1},
    {0x037B, 0x037D, Run::kDelta, 130},
    {0x03AC, 0x03AC, Run::kDelta, 0x0386 - 0x03AC},
    {0x03AD, 0x03AF, Run::kDelta, -37},
    {0x03B1, 0x03C1, Run::kDelta, -32},
    {0x03C2, 0x03C2, Run::kDelta, 0x03A3 - 0x03C2},
    {0x03C3, 0x03CB, Run::kDelta, -32},
    {0x03CC, 0x03CC, Run::kDelta, 0x038C - 0x03CC},
    {0x03CD, 0x03CE, Run::kDelta, -63},
    {0x03D8, 0x03EF, Run::kPairsEvenUpper, 0},
    {0x03F2, 0x03F2, Run::kDelta, 0x03F9 - 0x03F2},
    {0x03F8, 0x03F8, Run::kDelta, -1},
    {0x03FB, 0x03FB, Run::kDelta, -1},
    {0x0430, 0x044F, Run::kDelta, -32},
    {0x0450, 0x045F, Run::kDelta, -80},
    {0x0460, 0x0481, Run::kPairsEvenUpper, 0},
    {0x048A, 0x04BF, Run::kPairsEvenUpper, 0},
    {0x04C1, 0x04CE, Run::kPairsOddUpper, 0},
    {0x04CF, 0x04CF, Run::kDelta, 0x04C0 - 0x04CF},
    {0x04D0, 0x052F, Run::kPairsEvenUpper, 0},
    {0x0561, 0x0586, Run::kDelta, -48},
    {0x10D0, 0x10FA, Run::kDelta, 0x1C90 - 0x10D0},
    {0x10FD, 0x10FF, Run::kDelta, 0x1CBD - 0x10FD},
    {0x1E00, 0x1E95, Run::kPairsEvenUpper, 0},
    {0x1EA0, 0x1EFF, Run::kPairsEvenUpper, 0},
    {0x2170, 0x217F, Run::kDelta, -16},
    {0x2184, 0x2184, Run::kDelta, -1},
    {0x24D0, 0x24E9, Run::kDelta, -26},
    {0x2C30, 0x2C5F, Run::kDelta, -48},
    {0x2C80, 0x2CE3, Run::kPairsEvenUpper, 0},
    {0xA640, 0xA66D, Run::kPairsEvenUpper, 0},
    {0xA680, 0xA69B, Run::kPairsEvenUpper, 0},
    {0xA722, 0xA72F, Run::kPairsEvenUpper, 0},
    {0xA732, 0xA76F, Run::kPairsEvenUpper, 0},
    {0xFF41, 0xFF5A, Run::kDelta, -32},
};

}  // namespace

std::optional<std::size_t> Utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (std::size_t at = 0; at < text.size();) {
    char32_t point;
    if (!utf8::DecodeCodePoint(text, at, point)) return std::nullopt;
    units += point >= 0x10000 ? 2 : 1;
  }
  return units;
}

std::string Escaped(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = at;
    char32_t point = 0;
    if (utf8::DecodeCodePoint(text, at, point) && point >= 0x20 && (point < 0x7F || point >= 0xA0)) {
      out.append(text.substr(start, at - start));
      continue;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[start]));
    out += hex;
    at = start + 1;
  }
  return out;
}

char16_t UpcaseUnit(char16_t unit) {
  for (const Run& run : kRuns) {
    if (unit < run.first || unit > run.last) continue;
    switch (run.kind) {
      case Run::kDelta:
        return static_cast<char16_t>(unit + run.delta);
      case Run::kPairsEvenUpper:
        return static_cast<char16_t>(unit & ~1u);
      case Run::kPairsOddUpper:
        return static_cast<char16_t>((unit & 1u) ? unit : unit - 1);
    }
  }
  return unit;
}

std::string FoldedName(std::string_view name) {
  std::string folded;
  folded.reserve(name.size());
  for (std::size_t at = 0; at < name.size();) {
    // ASCII, nearly every name's every byte: only a to z change.
    if (const auto byte = static_cast<unsigned char>(name[at]); byte < 0x80) {
      folded += static_cast<char>(byte >= 'a' && byte <= 'z' ? byte - 32 : byte);
      ++at;
      continue;
    }
    const std::size_t start = at;
    char32_t point;
    if (!utf8::DecodeCodePoint(name, at, point)) {
      // Not expected for checked names; keep the byte so distinct names stay distinct.
      folded += name[start];
      at = start + 1;
      continue;
    }
    // Units outside the Basic Multilingual Plane are surrogates, which the
    // upcase table leaves alone.
    utf8::AppendCodePoint(folded, point < 0x10000 ? UpcaseUnit(static_cast<char16_t>(point)) : point);
  }
  return folded;
}

std::string DestinationNameKey(std::string_view name) {
  std::string key(name);
  std::replace(key.begin(), key.end(), '/', '\\');
  while (key.size() > 2 && key.compare(0, 2, ".\\") == 0) key.erase(0, 2);
  return FoldedName(key);
}

}  // namespace pack
